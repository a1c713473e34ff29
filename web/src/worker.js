// Runs the assembler module off the page's thread. Messages: {id, text, encoding, sourcePath}
// assembles the text's bytes in its encoding, with the object path the command line derives
// from `sourcePath`, and answers with the result and its listing, the listing's words as flat
// arrays that move to the page without a copy (listing.js reads them); {id, table: true}
// answers with the instruction table, the register names and the messages of the two passes.
// A module that cannot start answers every message with {id, failed}.
import {encodeSource} from './bytes.js';
import {flatListing} from './listing.js';

let ready;
try {
  importScripts('vorn.js');
  ready = createVorn();  // eslint-disable-line no-undef
} catch (err) {
  ready = Promise.reject(err);
}

onmessage = async (e) => {
  const {id} = e.data;
  let vorn;
  try {
    vorn = await ready;
  } catch (err) {
    postMessage({id, failed: String(err && err.message ? err.message : err)});
    return;
  }
  if (e.data.table) {
    postMessage({id, instructions: vorn.instructions(), registers: vorn.registers(),
                 messages: vorn.assemblyMessages()});
    return;
  }
  const objectPath = vorn.objectPath(e.data.sourcePath);
  const result = vorn.assemble(encodeSource(e.data.text, e.data.encoding), objectPath, {listing: true});
  const listing = flatListing(result.listing);
  postMessage({id, objectPath, ok: result.ok, output: result.output, object: result.object, listing},
              [result.output.buffer, result.object.buffer, listing.code.buffer, listing.data.buffer,
               listing.symbols.buffer, listing.names.buffer]);
};
