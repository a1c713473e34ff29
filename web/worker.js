// Runs the assembler module off the page's thread. Messages: {id, bytes, sourcePath} assembles
// the source's bytes with the object path the command line derives from `sourcePath` and
// answers with the result and its listing; {id, table: true} answers with the instruction
// table, the register names and the messages of the two passes. A module that cannot start answers every message with
// {id, failed}.
'use strict';

let ready;
try {
  importScripts('vorn.js');
  ready = createVorn();
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
  const result = vorn.assemble(e.data.bytes, objectPath, {listing: true});
  postMessage({id, objectPath, ...result});
};
