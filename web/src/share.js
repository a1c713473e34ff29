// Share links: the program in the link's fragment, compressed. A fragment never reaches a
// server; reading one that is damaged never touches the draft.
import {BYTES, UTF8, textOfBytes} from './bytes.js';

/// About what chat tools and mail keep of a link: a longer one is likely cut on its way.
export const LINK_LIMIT = 8000;

/// A fragment that holds a program but cannot be read: cut, mistyped, or not from this page.
export class DamagedLink extends Error {}

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
/// Throws DamagedLink when it holds one that cannot be read.
export async function readShareFragment(fragment) {
  const params = new URLSearchParams(fragment.replace(/^#/, ''));
  const source = params.get('source');
  if (source === null) return null;
  try {
    const bytes = await through(new DecompressionStream('deflate-raw'), unbase64url(source));
    return {bytes, name: params.get('name') ?? 'prog.s', encoding: params.get('encoding') === BYTES ? BYTES : UTF8};
  } catch (err) {
    throw new DamagedLink(String(err && err.message ? err.message : err));
  }
}
