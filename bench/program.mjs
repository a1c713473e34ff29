// The program the browser and editor benchmarks type into: `lines` lines of the usual shapes,
// constants, instructions and data.
export function program(lines) {
  const out = ['.SYMBOL'];
  for (let k = 0; out.length < lines / 4; ++k) out.push(`        C${k}   ${k}        ; constant ${k}`);
  out.push('.CODE 0');
  for (let k = 0; out.length < lines / 2 && k < 1990; ++k) out.push(`:L${k}    ADD R1 R1 #C${k % 50}   ; step ${k}`);
  out.push('.DATA 100');
  while (out.length < lines - 1) out.push(`        C${out.length % 50} 7 -3`);
  out.push('.END');
  return `${out.join('\n')}\n`;
}
