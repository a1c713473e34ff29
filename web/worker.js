// Runs the assembler module off the page's thread: each message is one source to assemble.
'use strict';

importScripts('vorn.js');
const ready = createVorn();

onmessage = async (e) => {
  const vorn = await ready;
  const {id, source, sourcePath} = e.data;
  const objectPath = vorn.objectPath(sourcePath);
  postMessage({id, objectPath, ...vorn.assemble(source, objectPath)});
};
