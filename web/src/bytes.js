// The source's bytes as the command line reads them, and the text the editor shows for them.
// Every text here comes from the user, a file or a link: it is handled as data only and reaches
// the page as text, never as markup.

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

/// Each byte one character, U+0000 to U+00FF.
export function textOfBytes(bytes) {
  let text = '';
  for (let k = 0; k < bytes.length; k += 8192) {
    text += String.fromCharCode.apply(null, bytes.subarray(k, k + 8192));
  }
  return text;
}

const encoder = new TextEncoder();

// The bytes one character is written as: in a byte-for-byte text, a character typed past
// U+00FF is written in UTF-8, as an editor saving such a file would.
function bytesOfChar(c, encoding) {
  const code = c.codePointAt(0);
  if (encoding === BYTES && code < 256) return 1;
  return code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
}

/// The bytes of `text` in `encoding`.
export function encodeSource(text, encoding) {
  if (encoding !== BYTES) return encoder.encode(text);
  const out = [];
  for (const c of text) {
    const code = c.codePointAt(0);
    if (code < 256) out.push(code);
    else out.push(...encoder.encode(c));
  }
  return new Uint8Array(out);
}

/// The offset in `text` (UTF-16 units, as the editor counts) of the character that starts at
/// byte `column` of its bytes in `encoding`; the text's length when it is shorter.
export function charOffset(text, encoding, column) {
  let bytes = 0;
  let at = 0;
  for (const c of text) {
    if (bytes >= column) return at;
    bytes += bytesOfChar(c, encoding);
    at += c.length;
  }
  return at;
}

/// The byte order of a byte-for-byte text that is UTF-16, as the assembler tells one: a
/// byte-order mark, or one NUL among the first two bytes (the high byte of the first
/// character). {encoding: 'utf-16le' or 'utf-16be', mark: its length}, or null.
export function utf16Of(text) {
  if (text.startsWith('\xff\xfe')) return {encoding: 'utf-16le', mark: 2};
  if (text.startsWith('\xfe\xff')) return {encoding: 'utf-16be', mark: 2};
  if (text.length >= 2 && (text[0] === '\0') !== (text[1] === '\0')) {
    return {encoding: text[0] === '\0' ? 'utf-16be' : 'utf-16le', mark: 0};
  }
  return null;
}
