// The user's work, kept in the browser: a draft for each tab, and the texts that a load, an
// open, a share link or a restore replaced, so that no text is replaced without a way back.
//
// A tab's draft is kept under a key of its own (the tab's id lives in sessionStorage, which a
// reload keeps and another tab does not share), so two tabs never write over each other. A new
// tab starts from the draft the user edited last: a draft that only a share link or a load
// filled does not count as edited until the user types in it.
import {BYTES, UTF8} from './bytes.js';

const TAB = 'vorn-tab';
const DRAFT = 'vorn-draft:';
const EARLIER = 'vorn-earlier';
const OLD_DRAFT = 'vorn-playground-draft';  // the one draft of earlier versions of the page
const DRAFTS_KEPT = 20;
const EARLIER_KEPT = 10;

function read(key) {
  try {
    return JSON.parse(localStorage.getItem(key));
  } catch {
    return null;
  }
}

function write(key, value) {
  try {
    localStorage.setItem(key, JSON.stringify(value));
    return true;
  } catch {
    return false;
  }
}

// A kept text as the page uses it, or null for one it cannot read.
function text(kept) {
  if (!kept || typeof kept.text !== 'string' || typeof kept.name !== 'string') return null;
  return {text: kept.text, name: kept.name, encoding: kept.encoding === BYTES ? BYTES : UTF8,
          edited: Number(kept.edited) || 0, at: Number(kept.at) || 0};
}

function draftKeys() {
  try {
    return Object.keys(localStorage).filter((k) => k.startsWith(DRAFT));
  } catch {
    return [];
  }
}

let tab = null;

/// This tab's id, made on its first visit.
export function tabId() {
  if (tab) return tab;
  try {
    tab = sessionStorage.getItem(TAB);
    if (!tab) {
      tab = `${Date.now().toString(36)}-${Math.random().toString(36).slice(2, 8)}`;
      sessionStorage.setItem(TAB, tab);
    }
  } catch {
    tab = 'only';  // no session storage: one draft for all tabs, as before
  }
  return tab;
}

/// The draft to start with: this tab's own, else the one the user edited last in any tab,
/// else none (a first visit). {text, name, encoding}
export function loadDraft() {
  const own = text(read(DRAFT + tabId()));
  if (own) return own;
  let best = text(read(OLD_DRAFT));
  for (const key of draftKeys()) {
    const kept = text(read(key));
    if (kept && (!best || kept.edited > best.edited)) best = kept;
  }
  return best;
}

/// Keeps this tab's draft; `edited` when the user changed it. False when the browser refuses
/// (storage off or full).
export function saveDraft({text: source, name, encoding}, edited) {
  const key = DRAFT + tabId();
  const before = text(read(key));
  const ok = write(key, {text: source, name, encoding, edited: edited ? Date.now() : (before ? before.edited : 0)});
  if (ok) forgetOldDrafts(key);
  return ok;
}

// Drafts of tabs long closed go, the least recently edited first.
function forgetOldDrafts(own) {
  const keys = draftKeys().filter((k) => k !== own);
  if (keys.length < DRAFTS_KEPT) return;
  const edited = new Map(keys.map((k) => [k, (text(read(k)) || {edited: 0}).edited]));
  keys.sort((a, b) => edited.get(a) - edited.get(b));
  for (const key of keys.slice(0, keys.length - DRAFTS_KEPT + 1)) localStorage.removeItem(key);
}

/// The texts replaced so far, the latest first: {text, name, encoding, at}.
export function earlierTexts() {
  const list = read(EARLIER);
  return Array.isArray(list) ? list.map(text).filter(Boolean) : [];
}

/// Keeps `replaced` among the earlier texts, unless it is empty or the latest of them already.
export function keepEarlier(replaced) {
  const list = earlierTexts();
  if (replaced.text === '' || (list[0] && list[0].text === replaced.text && list[0].name === replaced.name)) {
    return true;
  }
  list.unshift({text: replaced.text, name: replaced.name, encoding: replaced.encoding, at: Date.now()});
  return write(EARLIER, list.slice(0, EARLIER_KEPT));
}
