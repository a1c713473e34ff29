// The program the browser and editor benchmarks type into: `lines` lines of the usual shapes,
// constants, instructions and data, within the machine's limits (at most 1,000 constants,
// 1,990 instructions and 4,800 data words), the lines beyond them comments, as a long
// program's are. It assembles at any size.
export function program(lines) {
  const sections = [[], [], []];
  const symbols = sections[0];
  const code = sections[1];
  const data = sections[2];
  for (let k = 0; k < Math.min(Math.floor(lines / 8), 1000); ++k) {
    symbols.push(`        C${k}   ${k}        ; constant ${k}`);
  }
  const value = (k) => (symbols.length ? `C${k % Math.min(symbols.length, 50)}` : `${k}`);
  for (let k = 0; k < Math.min(Math.floor(lines / 4), 1990); ++k) {
    code.push(`:L${k}    ADD R1 R1 #${value(k)}   ; step ${k}`);
  }
  for (let k = 0; k < Math.min(Math.floor(lines / 8), 1600); ++k) data.push(`        ${value(k)} 7 -3`);
  // The rest: a comment line after every few lines of each section, in turn.
  const rest = Math.max(0, lines - 4 - symbols.length - code.length - data.length);
  const out = [];
  let comments = 0;
  const headers = ['.SYMBOL', '.CODE 0', '.DATA 100'];
  sections.forEach((body, s) => {
    out.push(headers[s]);
    const share = Math.floor(rest / 3) + (s === 2 ? rest % 3 : 0);
    body.forEach((line, k) => {
      out.push(line);
      const due = Math.floor(((k + 1) * share) / body.length) - Math.floor((k * share) / body.length);
      for (let c = 0; c < due; ++c) out.push(`; note ${++comments}: what the lines above do`);
    });
    if (body.length === 0) for (let c = 0; c < share; ++c) out.push(`; note ${++comments}`);
  });
  out.push('.END');
  return `${out.join('\n')}\n`;
}
