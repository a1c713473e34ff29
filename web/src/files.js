// Files in and out: the examples served beside the page, and downloads.
import {decodeSource} from './bytes.js';

/// The response for `url`; a failed one throws with its status.
export async function fetchOk(url) {
  const response = await fetch(url);
  if (!response.ok) throw new Error(`${response.status} ${response.statusText}`);
  return response;
}

/// The example `name` as {text, encoding}.
export async function fetchExample(name) {
  const response = await fetchOk(`examples/${encodeURIComponent(name)}`);
  return decodeSource(new Uint8Array(await response.arrayBuffer()));
}

/// The names of the examples.
export async function exampleNames() {
  return (await fetchOk('examples/index.json')).json();
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
