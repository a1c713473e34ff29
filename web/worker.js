// Runs the assembler module off the page's thread: each message is one source to assemble.
'use strict';

importScripts('vorn.js');
const ready = createVorn();

onmessage = async (e) => {
  const vorn = await ready;
  const {id, source, objectPath} = e.data;
  postMessage({id, ...vorn.assemble(source, objectPath)});
};
