// The student's programs, kept as files are: each one a record {id, name, encoding, modified}
// and its text in the origin's IndexedDB (persistent storage asked for), saved as it is typed
// and removed only by the student. Every tab sees the same list: each change is told to the other
// tabs on a BroadcastChannel. A program is open in one tab at a time, which holds it with a Web
// Lock; a lock belongs to the tab that took it, so a duplicated tab, which copies the tab's
// session, finds its program held and opens a copy instead.
import {BYTES, UTF8} from './bytes.js';

const DB = 'vorn';
const STORE = 'programs';  // {id, name, encoding, modified}: what the list shows
const TEXTS = 'texts';     // {id, text}
const CHANNEL = 'vorn-programs';
const LOCK = 'vorn-program:';
// The drafts and earlier texts of earlier versions of the page, in localStorage: taken in as
// programs once, then removed.
const OLD_KEYS = /^vorn-(draft:|earlier$|playground-draft$)/;

const request = (r) => new Promise((resolve, reject) => {
  r.onsuccess = () => resolve(r.result);
  r.onerror = () => reject(r.error);
});

function openDatabase() {
  const open = indexedDB.open(DB, 1);
  open.onupgradeneeded = () => {
    open.result.createObjectStore(STORE, {keyPath: 'id'});
    open.result.createObjectStore(TEXTS, {keyPath: 'id'});
  };
  return request(open);
}

// A kept program's record as the page uses it, or null for one it cannot read.
function record(r) {
  if (!r || typeof r.id !== 'string') return null;
  return {id: r.id, name: typeof r.name === 'string' ? r.name : 'untitled.s',
          encoding: r.encoding === BYTES ? BYTES : UTF8, modified: Number(r.modified) || 0};
}

/// A new program's id.
export const newId = () => crypto.randomUUID();

/// The programs: resolves to {list, get, put, remove, claim, release, heldElsewhere, onChange};
/// rejects where the browser keeps none (storage off).
export async function openPrograms() {
  const db = await openDatabase();
  const channel = 'BroadcastChannel' in self ? new BroadcastChannel(CHANNEL) : null;
  const released = new Map();  // id -> release, for the programs this tab holds
  const done = (tx) => new Promise((resolve, reject) => {
    tx.oncomplete = () => resolve();
    tx.onerror = tx.onabort = () => reject(tx.error ?? new DOMException('The write was not kept', 'AbortError'));
  });
  const told = () => channel?.postMessage('changed');

  const programs = {
    /// Every program, the latest changed first: {id, name, encoding, modified}.
    async list() {
      const all = await request(db.transaction(STORE).objectStore(STORE).getAll());
      return all.map(record).filter(Boolean).sort((a, b) => b.modified - a.modified);
    },
    /// The program `id` with its text, or null.
    async get(id) {
      const tx = db.transaction([STORE, TEXTS]);
      const [r, t] = await Promise.all([request(tx.objectStore(STORE).get(id)), request(tx.objectStore(TEXTS).get(id))]);
      const kept = record(r);
      return kept && t && typeof t.text === 'string' ? {...kept, text: t.text} : null;
    },
    /// Keeps `p` ({id, name, encoding, modified, text}); resolves once it is written, rejects
    /// (storage full) when it is not, and then nothing of it is written.
    async put(p) {
      const tx = db.transaction([STORE, TEXTS], 'readwrite');
      tx.objectStore(STORE).put({id: p.id, name: p.name, encoding: p.encoding, modified: p.modified});
      tx.objectStore(TEXTS).put({id: p.id, text: p.text});
      await done(tx);
      told();
    },
    async remove(id) {
      const tx = db.transaction([STORE, TEXTS], 'readwrite');
      tx.objectStore(STORE).delete(id);
      tx.objectStore(TEXTS).delete(id);
      await done(tx);
      told();
    },
    /// Takes the program `id` for this tab: true, unless another tab holds it.
    claim(id) {
      if (released.has(id)) return Promise.resolve(true);
      if (!navigator.locks) return Promise.resolve(true);
      return new Promise((resolve) => {
        navigator.locks.request(LOCK + id, {ifAvailable: true}, (lock) => {
          resolve(lock !== null);
          return lock && new Promise((release) => released.set(id, release));
        }).catch(() => resolve(false));
      });
    },
    release(id) {
      released.get(id)?.();
      released.delete(id);
    },
    /// The ids of the programs that other tabs hold.
    async heldElsewhere() {
      if (!navigator.locks) return new Set();
      const {held} = await navigator.locks.query();
      return new Set(held.map((l) => l.name).filter((n) => n.startsWith(LOCK)).map((n) => n.slice(LOCK.length))
        .filter((id) => !released.has(id)));
    },
    /// Calls `f` when another tab has changed the list.
    onChange(f) {
      if (channel) channel.onmessage = () => f();
    },
  };
  // Once, in one tab: the others wait for it.
  if (navigator.locks) await navigator.locks.request('vorn-take-in', () => takeInOldDrafts(programs));
  else await takeInOldDrafts(programs);
  return programs;
}

// The texts earlier versions of the page kept in localStorage become programs, each once (the
// same text under the same name is one program), and go from localStorage only once written.
async function takeInOldDrafts(programs) {
  let keys;
  try {
    keys = Object.keys(localStorage).filter((k) => OLD_KEYS.test(k));
  } catch {
    return;
  }
  if (keys.length === 0) return;
  const seen = new Set();
  for (const key of keys) {
    let kept;
    try {
      kept = JSON.parse(localStorage.getItem(key));
    } catch {
      kept = null;
    }
    for (const t of Array.isArray(kept) ? kept : [kept]) {
      if (!t || typeof t.text !== 'string' || t.text === '' || seen.has(`${t.name}\n${t.text}`)) continue;
      seen.add(`${t.name}\n${t.text}`);
      await programs.put({id: newId(), name: typeof t.name === 'string' ? t.name : 'untitled.s', text: t.text,
                          encoding: t.encoding === BYTES ? BYTES : UTF8,
                          modified: Number(t.edited) || Number(t.at) || Date.now()});
    }
  }
  for (const key of keys) localStorage.removeItem(key);
}
