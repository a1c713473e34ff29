// An assembly's listing as the page keeps it: its words and symbols in flat arrays of numbers
// (a code word is CODE_FIELDS numbers: address, the four words, source line; a data word
// DATA_FIELDS: address, value, source line; a symbol SYMBOL_FIELDS: where its name starts in
// `names` and its length, 1 for a label, value, defining line), so that a large program's
// listing reaches the page without a copy and costs nothing until a pane shows it; and the
// error's place as the module gives it.

export const CODE_FIELDS = 6;
export const DATA_FIELDS = 3;
export const SYMBOL_FIELDS = 5;

/// The module's listing (of a bytes source: names are bytes), flattened.
export function flatListing({code, data, symbols, errorLine, errorColumn, errorLength}) {
  const flatCode = new Int32Array(code.length * CODE_FIELDS);
  code.forEach((c, k) => flatCode.set([c.address, ...c.words, c.line], k * CODE_FIELDS));
  const flatData = new Int32Array(data.length * DATA_FIELDS);
  data.forEach((d, k) => flatData.set([d.address, d.value, d.line], k * DATA_FIELDS));
  const flatSymbols = new Int32Array(symbols.length * SYMBOL_FIELDS);
  const names = new Uint8Array(symbols.reduce((n, s) => n + s.name.length, 0));
  let at = 0;
  symbols.forEach((s, k) => {
    names.set(s.name, at);
    flatSymbols.set([at, s.name.length, s.kind === 'label' ? 1 : 0, s.value, s.line], k * SYMBOL_FIELDS);
    at += s.name.length;
  });
  return {code: flatCode, data: flatData, symbols: flatSymbols, names, errorLine, errorColumn, errorLength};
}

/// An empty listing.
export const NO_LISTING = flatListing({code: [], data: [], symbols: [], errorLine: 0, errorColumn: 0, errorLength: 0});

export const symbolCount = (listing) => listing.symbols.length / SYMBOL_FIELDS;

/// Symbol k: {name (bytes), kind ('label' or 'constant'), value, line}.
export function symbolAt(listing, k) {
  const [at, length, label, value, line] = listing.symbols.subarray(k * SYMBOL_FIELDS, (k + 1) * SYMBOL_FIELDS);
  return {name: listing.names.subarray(at, at + length), kind: label ? 'label' : 'constant', value, line};
}

export const codeCount = (listing) => listing.code.length / CODE_FIELDS;
export const dataCount = (listing) => listing.data.length / DATA_FIELDS;
export const codeLine = (listing, k) => listing.code[k * CODE_FIELDS + 5];
export const dataLine = (listing, k) => listing.data[k * DATA_FIELDS + 2];

/// The source line of each word, code then data, in the order of the object.
export function wordLines(listing) {
  const lines = new Int32Array(codeCount(listing) + dataCount(listing));
  for (let k = 0; k < codeCount(listing); ++k) lines[k] = codeLine(listing, k);
  for (let k = 0; k < dataCount(listing); ++k) lines[codeCount(listing) + k] = dataLine(listing, k);
  return lines;
}
