#!/usr/bin/env node
// vorn SOURCE: assembles one source file into its object file, as the native command does.
// The assembler, its messages and the object-path rule come from the module; this file adds
// only the file handling: the source read as bytes, the refusal to replace it (by file
// identity, so another name or a link of it is refused too), and the object written whole to a
// temporary file beside it and renamed into place, so an earlier object stays as it was on any
// failure.
'use strict';

const fs = require('node:fs');
const path = require('node:path');
const {load} = require('../index.cjs');

const EXIT_OK = 0;
const EXIT_ERROR = 1;
const EXIT_USAGE = 2;

// Text as the platform writes it: on Windows every newline is CR LF.
function platformText(bytes) {
  if (process.platform !== 'win32') return Buffer.from(bytes);
  const lines = Buffer.from(bytes).toString('latin1');
  return Buffer.from(lines.replace(/\n/g, '\r\n'), 'latin1');
}

function sameFile(a, b) {
  return a.dev === b.dev && a.ino === b.ino;
}

// The file an object path names: a symbolic link there is followed (a dangling one to the
// file it would name), so the link stays and its target gets the object.
function linkTarget(objectPath) {
  let target = objectPath;
  for (let hops = 0; hops < 40; ++hops) {
    let stat;
    try {
      stat = fs.lstatSync(target);
    } catch {
      return target;  // nothing there yet
    }
    if (!stat.isSymbolicLink()) return target;
    target = path.resolve(path.dirname(target), fs.readlinkSync(target));
  }
  throw new Error('too many symbolic links');
}

// Writes `bytes` as the file `objectPath`: whole into a new file beside it, then renamed over
// it. The mode of an earlier object is kept. False, with no temporary file left, on any failure.
function writeObject(objectPath, bytes) {
  let fd = null;
  let tmp = null;
  try {
    const target = linkTarget(objectPath);
    tmp = path.join(path.dirname(target), `.vorn-${process.pid}-${Date.now() % 1e6}.tmp`);
    let mode = 0o666;
    try {
      mode = fs.statSync(target).mode & 0o7777;
    } catch {
      // no earlier object: the new one is made under the process's umask
    }
    fd = fs.openSync(tmp, 'wx', mode);
    for (let at = 0; at < bytes.length;) at += fs.writeSync(fd, bytes, at);
    fs.fsyncSync(fd);
    fs.closeSync(fd);
    fd = null;
    fs.renameSync(tmp, target);
    return true;
  } catch {
    if (fd !== null) fs.closeSync(fd);
    try {
      if (tmp !== null) fs.unlinkSync(tmp);
    } catch {
      // it was never made, or is renamed already
    }
    return false;
  }
}

// Runs the command on `args` (the arguments after the program's name). Returns what to print
// and the exit status.
function run(vorn, args) {
  const say = (line, status) => ({out: Buffer.from(line), status});
  if (args.length < 1) return say(vorn.messages.usage, EXIT_USAGE);
  const sourcePath = args[0];
  let source;
  let sourceId;
  try {
    const fd = fs.openSync(sourcePath, 'r');
    try {
      sourceId = fs.fstatSync(fd, {bigint: true});
      if (sourceId.isDirectory()) return say(vorn.messages.inputFileNotFound, EXIT_ERROR);
      try {
        source = fs.readFileSync(fd);
      } catch {
        return say(vorn.messages.cannotReadInput, EXIT_ERROR);
      }
    } finally {
      fs.closeSync(fd);
    }
  } catch {
    return say(vorn.messages.inputFileNotFound, EXIT_ERROR);
  }
  const objectPath = vorn.objectPathFor(sourcePath);
  let objectId = null;
  try {
    objectId = fs.statSync(objectPath, {bigint: true});
  } catch {
    // no object yet
  }
  if (objectPath === sourcePath || (objectId !== null && sameFile(objectId, sourceId))) {
    return say(vorn.messages.objectWouldReplaceSource, EXIT_ERROR);
  }
  const result = vorn.assemble(new Uint8Array(source), objectPath);
  if (!result.ok) return {out: Buffer.from(result.output), status: EXIT_ERROR};
  if (!writeObject(objectPath, platformText(result.object))) {
    return say(vorn.messages.cannotWriteObject, EXIT_ERROR);
  }
  return {out: Buffer.alloc(0), status: EXIT_OK};
}

// Writes all of `bytes` to the descriptor `fd`, waiting where a pipe is full.
function writeAll(fd, bytes) {
  for (let at = 0; at < bytes.length;) {
    try {
      at += fs.writeSync(fd, bytes, at);
    } catch (e) {
      if (e.code !== 'EAGAIN') throw e;
    }
  }
}

load().then((vorn) => {
  const {out, status} = run(vorn, process.argv.slice(2));
  process.exitCode = status;
  try {
    writeAll(1, platformText(out));
  } catch {
    fs.writeSync(2, platformText(Buffer.from(vorn.messages.cannotWriteStdout)));
    if (status === EXIT_OK) process.exitCode = EXIT_ERROR;
  }
});
