// The user's work: the source's bytes as the command line reads them, the draft kept in the
// browser, and share links. Every text here comes from the user, a file or a link: it is
// handled as data only and reaches the page as text, never as markup.

// A source is shown as text in one of two encodings. UTF-8 is the usual one; a file that is
// not valid UTF-8 (Latin-1, say, or UTF-16) is shown byte for byte, each byte one character
// from U+0000 to U+00FF, so that its bytes come back unchanged for the assembler.
export const UTF8 = 'utf-8';
export const BYTES = 'bytes';

/// The text of `bytes` and the encoding it was read in.
export function decodeSource(bytes) {
  try {
    // The byte-order mark stays a character, as the assembler sees it as bytes of the file.
    return {text: new TextDecoder('utf-8', {fatal: true, ignoreBOM: true}).decode(bytes), encoding: UTF8};
  } catch {
    return {text: textOfBytes(bytes), encoding: BYTES};
  }
}

/// The text of `bytes` in `encoding`.
export function textOf(bytes, encoding) {
  return encoding === BYTES ? textOfBytes(bytes) : new TextDecoder('utf-8', {ignoreBOM: true}).decode(bytes);
}

function textOfBytes(bytes) {
  let text = '';
  for (let k = 0; k < bytes.length; k += 8192) {
    text += String.fromCharCode.apply(null, bytes.subarray(k, k + 8192));
  }
  return text;
}

/// The bytes of `text` in `encoding`: a character typed past U+00FF into a byte-for-byte text
/// is written in UTF-8, as an editor saving such a file would.
export function encodeSource(text, encoding) {
  if (encoding !== BYTES) return new TextEncoder().encode(text);
  const out = [];
  const encoder = new TextEncoder();
  for (const c of text) {
    const code = c.codePointAt(0);
    if (code < 256) out.push(code);
    else out.push(...encoder.encode(c));
  }
  return new Uint8Array(out);
}

// --- the draft, kept in the browser ------------------------------------------------------------

const KEY = 'vorn-playground-draft';

/// The kept draft {text, name, encoding}, or null on a first visit (or where storage is off).
export function loadDraft() {
  try {
    const draft = JSON.parse(localStorage.getItem(KEY));
    if (draft && typeof draft.text === 'string' && typeof draft.name === 'string') {
      return {text: draft.text, name: draft.name, encoding: draft.encoding === BYTES ? BYTES : UTF8};
    }
  } catch {
    // no draft, or one this page cannot read: a first visit
  }
  return null;
}

/// Keeps the draft; false when the browser refuses (storage off or full).
export function saveDraft(draft) {
  try {
    localStorage.setItem(KEY, JSON.stringify(draft));
    return true;
  } catch {
    return false;
  }
}

// --- share links: the program in the link's fragment, compressed --------------------------------

function base64url(bytes) {
  return btoa(textOfBytes(bytes)).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

function unbase64url(text) {
  const binary = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
  const bytes = new Uint8Array(binary.length);
  for (let k = 0; k < binary.length; ++k) bytes[k] = binary.charCodeAt(k);
  return bytes;
}

async function through(stream, bytes) {
  const out = new Response(new Blob([bytes]).stream().pipeThrough(stream));
  return new Uint8Array(await out.arrayBuffer());
}

/// The fragment ("#...") of a link that holds the source `bytes`, its file name and encoding.
export async function shareFragment(bytes, name, encoding) {
  const packed = await through(new CompressionStream('deflate-raw'), bytes);
  const params = new URLSearchParams({name, encoding, source: base64url(packed)});
  return `#${params}`;
}

/// The program a link's fragment holds: {bytes, name, encoding}, or null when it holds none.
/// Throws when it holds one that cannot be read.
export async function readShareFragment(fragment) {
  const params = new URLSearchParams(fragment.replace(/^#/, ''));
  const source = params.get('source');
  if (source === null) return null;
  const bytes = await through(new DecompressionStream('deflate-raw'), unbase64url(source));
  return {bytes, name: params.get('name') ?? 'prog.s', encoding: params.get('encoding') === BYTES ? BYTES : UTF8};
}

/// Saves `bytes` as a download named `name`.
export function download(bytes, name) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([bytes], {type: 'application/octet-stream'}));
  link.download = name;
  document.body.appendChild(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 1000);
}

/// A file name a browser saves as it is: the part after the last slash of `path`, with `stem`
/// put before an empty or dot-first name (which browsers would rename).
export function savedName(path, stem) {
  const name = path.slice(Math.max(path.lastIndexOf('/'), path.lastIndexOf('\\')) + 1);
  return name === '' || name.startsWith('.') ? `${stem}${name}` : name;
}
