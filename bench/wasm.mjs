// Times the WebAssembly module on one source in Node.js, loaded through the npm package's ES
// module entry: RUNS in-process runs after a warm-up, and prints the median time of one run in
// milliseconds.
//   node bench/wasm.mjs PACKAGE-ENTRY RUNS FILE
import fs from 'node:fs';
import {pathToFileURL} from 'node:url';

const [entry, runs, file] = process.argv.slice(2);
const vorn = await (await import(pathToFileURL(fs.realpathSync(entry)).href)).load();
const source = fs.readFileSync(file);
const path = Buffer.from('a_capacity.obj');
const ms = [];
for (let k = -3; k < Number(runs); ++k) {
  const start = process.hrtime.bigint();
  const r = vorn.assemble(source, path);
  const end = process.hrtime.bigint();
  if (!r.ok) throw new Error(Buffer.from(r.output).toString());
  if (k >= 0) ms.push(Number(end - start) / 1e6);
}
ms.sort((a, b) => a - b);
console.log(ms[ms.length >> 1].toFixed(3));
