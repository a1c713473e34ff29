// The assembler, off the typing path: the core as a WebAssembly module in a worker. Each
// request is answered in order; a module that cannot start answers every request with the
// reason, which the page shows.

/// Starts the worker. `problem(text)` shows what keeps it from working. Returns
/// {assemble(text, encoding, sourcePath) -> Promise<answer>, table: Promise<{instructions,
/// registers, messages}>}; an answer is the module's result for the text's bytes in its
/// encoding, with its listing (listing.js) and `objectPath`. The text goes to the worker as it
/// is: its bytes are made there.
export function startAssembler(problem) {
  const waiting = new Map();  // id -> resolve
  let requestId = 0;
  let worker = null;
  try {
    worker = new Worker('worker.js');
  } catch (err) {
    problem(`The assembler cannot start here (${err.message}). Serve the page over http.`);
  }
  if (worker) {
    worker.onmessage = (e) => {
      performance.mark('vorn-result');  // bench/playground.mjs times a result's work from here
      const resolve = waiting.get(e.data.id);
      waiting.delete(e.data.id);
      if (e.data.failed) problem(`The assembler failed to load: ${e.data.failed}`);
      else if (resolve) resolve(e.data);
    };
    worker.onerror = (e) => {
      e.preventDefault();
      problem(`The assembler failed to load: ${e.message || 'its script could not be read'}.`);
    };
  }
  const ask = (message) => new Promise((resolve) => {
    const id = ++requestId;
    waiting.set(id, resolve);
    if (worker) worker.postMessage({id, ...message});
  });
  return {
    assemble: (text, encoding, sourcePath) => ask({text, encoding, sourcePath}),
    table: ask({table: true}),
  };
}
