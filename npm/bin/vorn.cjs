#!/usr/bin/env node
// vorn SOURCE: assembles one source file into its object file, as the native command does.
// The assembler, its messages and the object-path rule come from the module. This file adds the
// file handling, with fewer rules than the native command, each one Node.js can keep; where the
// native command relies on what Node.js lacks (folder handles, unnamed files, a signal mask),
// this one refuses with "cannot write object file", writing nothing:
// - the source is read as bytes, and its name taken as the bytes it is;
// - the object never replaces the source (by file identity, so a link of it is refused too);
// - an earlier object is replaced whole: a new file with a random name (O_EXCL) in its folder,
//   with the earlier object's mode and owner, written, closed and renamed over it;
// - a new object is made under its own name (O_EXCL), nothing else in the folder;
// - refused: a link, a FIFO, device, socket or folder at the object path, a write-protected
//   object, a folder where the object may not be made or replaced (read-only, sticky,
//   append-only), a long path whose folder name is not UTF-8;
// - a terminating signal ends the run by the signal; once one has come, nothing is renamed,
//   and no file of the run's is left.
'use strict';

// One run compiles the module and assembles once: V8's baseline compiler alone starts it
// sooner, and the optimising tier would not pay for itself in so short a run.
require('node:v8').setFlagsFromString('--liftoff-only');

const crypto = require('node:crypto');
const fs = require('node:fs');
const {load} = require('../index.cjs');

const EXIT_OK = 0;
const EXIT_ERROR = 1;
const EXIT_USAGE = 2;

// What only this command says: a limit of Node.js's, for which the native command is the way.
const NODE_CANNOT_START = 'vorn: Node.js cannot start under this memory limit; use the native command\n';
const NODE_CANNOT_NAME = 'vorn: Node.js cannot read a file name that is not UTF-8 without /proc; use the native command\n';

const WINDOWS = process.platform === 'win32';
const LINUX = process.platform === 'linux';
const PATH_MAX = 4096;
const {O_WRONLY, O_CREAT, O_EXCL, O_NOFOLLOW = 0, W_OK} = fs.constants;

// Every signal whose default action ends the process and that Node.js can watch: not the
// real-time ones, nor SIGBUS, SIGFPE, SIGILL and SIGSEGV, whose handler would return to the
// faulting instruction.
const TERMINATING_SIGNALS = ['SIGHUP', 'SIGINT', 'SIGQUIT', 'SIGTRAP', 'SIGABRT', 'SIGUSR1',
                             'SIGUSR2', 'SIGALRM', 'SIGTERM', 'SIGXCPU', 'SIGVTALRM', 'SIGPROF',
                             'SIGSYS', 'SIGIO', 'SIGPWR', 'SIGSTKFLT'];

// Text as the platform writes it: on Windows every newline is CR LF.
function platformText(bytes) {
  if (!WINDOWS) return Buffer.from(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const lines = Buffer.from(bytes).toString('latin1');
  return Buffer.from(lines.replace(/\n/g, '\r\n'), 'latin1');
}

function sameFile(a, b) {
  return a.dev === b.dev && a.ino === b.ino;
}

// Paths are bytes throughout (Node.js takes a Buffer path as the name it is).
function isSeparator(byte) {
  return byte === 0x2f || (WINDOWS && (byte === 0x5c || byte === 0x3a));
}

// The folder part of `path`, its separator kept ("" for a bare name).
function folderOf(path) {
  let end = path.length;
  while (end > 0 && !isSeparator(path[end - 1])) --end;
  return path.subarray(0, end);
}

// The arguments as the bytes they are: process.argv holds them decoded as UTF-8, which a file
// name need not be. On Linux they are read from the system; null where that cannot be done and
// an argument was not UTF-8.
function commandArguments() {
  const args = process.argv.slice(2);
  if (!LINUX) return args.map((a) => Buffer.from(a));
  let raw;
  try {
    raw = fs.readFileSync('/proc/self/cmdline');
  } catch {
    return args.some((a) => a.includes('\ufffd')) ? null : args.map((a) => Buffer.from(a));
  }
  const all = [];
  for (let at = 0; at < raw.length;) {
    const end = raw.indexOf(0, at);
    all.push(raw.subarray(at, end < 0 ? raw.length : end));
    at = end < 0 ? raw.length : end + 1;
  }
  return all.slice(all.length - args.length);
}

// Reads the whole file open as `fd`. Null when it is too large to hold (the module holds at
// most 4 GB); throws on an I/O error.
function readAll(fd) {
  const chunks = [];
  let total = 0;
  for (let want = Math.max(fs.fstatSync(fd).size + 1, 1 << 16); ; want = 1 << 24) {
    let chunk;
    try {
      chunk = Buffer.allocUnsafe(want);
    } catch {
      return null;
    }
    let got = 0;
    for (let n = -1; got < want && n !== 0; got += n) {
      n = fs.readSync(fd, chunk, got, Math.min(want - got, 1 << 30), null);
    }
    chunks.push(chunk.subarray(0, got));
    total += got;
    if (got < want) return chunks.length === 1 ? chunks[0] : Buffer.concat(chunks, total);
    if (total >= 2 ** 32) return null;
  }
}

// Writes all of `bytes` where the file stands, waiting where a pipe is full.
function writeAll(fd, bytes) {
  for (let at = 0; at < bytes.length;) {
    try {
      at += fs.writeSync(fd, bytes, at, bytes.length - at, null);
    } catch (e) {
      if (e.code !== 'EAGAIN') throw e;
    }
  }
}

// The object path as it can be given to the system: a path past the system's limit is
// shortened by entering its folder (Node.js has no folder handles), which only a folder whose
// name is UTF-8 can be. Null where that cannot be done.
function reachable(path) {
  if (path.length < PATH_MAX) return path;
  const folder = folderOf(path);
  const text = folder.toString();
  if (!Buffer.from(text).equals(folder)) return null;
  process.chdir(text);
  return path.subarray(folder.length);
}

// Whether the earlier object at `path` may be replaced, asked of the system without changing
// anything: removing a folder of that name fails, as it is a file, but only after the checks a
// rename over it meets (Linux: a folder where names may be made and removed, not append-only,
// not another user's file in a sticky folder). Elsewhere the rename finds out.
function mayReplace(path) {
  if (!LINUX) return true;
  try {
    fs.rmdirSync(path);
  } catch (e) {
    return e.code === 'ENOTDIR';
  }
  return false;  // it had become an empty folder, and is gone: not ours to replace
}

// The new file takes the earlier object's owner and group where the process may (root, or a
// group it belongs to), then its permission bits exactly, whatever the umask.
function keepOwnerAndMode(fd, earlier) {
  const now = fs.fstatSync(fd, {bigint: true});
  if (now.uid !== earlier.uid || now.gid !== earlier.gid) {
    try {
      fs.fchownSync(fd, Number(earlier.uid), Number(earlier.gid));
    } catch {
      try {
        fs.fchownSync(fd, -1, Number(earlier.gid));
      } catch {
        // the group is not the process's to give: the folder's stays
      }
    }
  }
  fs.fchmodSync(fd, Number(earlier.mode & 0o777n));
}

// Makes `path` a new file with `mode` that holds `bytes`. Throws, leaving nothing, on a failure.
function makeFile(path, bytes, mode, earlier) {
  const fd = fs.openSync(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, mode);
  try {
    if (earlier !== null) keepOwnerAndMode(fd, earlier);
    writeAll(fd, bytes);
  } catch (e) {
    fs.closeSync(fd);
    removeQuietly(path);
    throw e;
  }
  try {
    fs.closeSync(fd);  // a late write error throws here
  } catch (e) {
    removeQuietly(path);
    throw e;
  }
}

function removeQuietly(path) {
  try {
    fs.unlinkSync(path);
  } catch {
    // never made, or gone
  }
}

// A terminating signal that has come: it is watched only while a file of the run's exists, and
// acted on between the steps, so that the file is removed first.
let signalled = null;
const onSignal = (signal) => {
  signalled ??= signal;
};

function watchSignals(on) {
  for (const signal of TERMINATING_SIGNALS) {
    try {
      if (on) process.on(signal, onSignal);
      else process.removeListener(signal, onSignal);
    } catch {
      // a signal this system does not have
    }
  }
}

// Lets the signals that came during the last step be seen.
const nextTurn = () => new Promise((resolve) => setImmediate(resolve));

// Ends the process by the signal that came, as it would have ended without the watch.
function endBySignal() {
  watchSignals(false);
  process.kill(process.pid, signalled);
}

// Puts `bytes` in place as the object file `objectPath`: true when done, false when refused
// or failed, with the earlier object as it was and nothing left behind.
async function writeObject(objectPath, bytes) {
  const path = reachable(objectPath);
  if (path === null) return false;
  let earlier = null;
  try {
    earlier = fs.lstatSync(path, {bigint: true});
  } catch (e) {
    if (e.code !== 'ENOENT') return false;
  }
  if (earlier !== null) {
    if (!earlier.isFile()) return false;
    try {
      fs.accessSync(path, W_OK);
    } catch {
      return false;  // write-protected: it stays as it is
    }
    if (!mayReplace(path)) return false;
  }
  const made = earlier === null ? path
    : Buffer.concat([folderOf(path), Buffer.from(`.vorn-${crypto.randomBytes(6).toString('hex')}.tmp`)]);
  watchSignals(true);
  try {
    makeFile(made, bytes, earlier === null ? 0o666 : Number(earlier.mode & 0o777n), earlier);
  } catch {
    watchSignals(false);
    return false;
  }
  await nextTurn();
  let done = signalled === null;
  try {
    if (done && earlier !== null) fs.renameSync(made, path);
  } catch {
    done = false;
  }
  if (!done) removeQuietly(made);
  watchSignals(false);
  if (signalled !== null) endBySignal();
  return done;
}

// Whether standard output was closed when the process started: Node.js puts /dev/null there
// then, opened for reading and writing, where a redirection to /dev/null opens it for writing
// only, so reading it (nothing, at once) tells the two apart.
function stdoutWasClosed() {
  if (WINDOWS) return false;
  try {
    const out = fs.fstatSync(1);
    if (!out.isCharacterDevice() || out.rdev !== fs.statSync('/dev/null').rdev) return false;
    fs.readSync(1, Buffer.alloc(1), 0, 1, null);
    return true;
  } catch {
    return false;
  }
}

// Runs the command on `args` (the arguments after the program's name, as bytes). Resolves to
// what to print and the exit status.
async function run(vorn, args) {
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
        source = readAll(fd);
      } catch {
        return say(vorn.messages.cannotReadInput, EXIT_ERROR);
      }
    } finally {
      fs.closeSync(fd);
    }
  } catch {
    return say(vorn.messages.inputFileNotFound, EXIT_ERROR);
  }
  if (source === null) return say(vorn.messages.outOfMemory, EXIT_ERROR);
  const objectPath = Buffer.from(vorn.objectPathFor(sourcePath));
  let objectId = null;
  try {
    objectId = fs.statSync(objectPath, {bigint: true});
  } catch {
    // no object yet
  }
  if (objectPath.equals(sourcePath) || (objectId !== null && sameFile(objectId, sourceId))) {
    return say(vorn.messages.objectWouldReplaceSource, EXIT_ERROR);
  }
  let result;
  try {
    result = vorn.assemble(source, objectPath);
  } catch {
    return say(vorn.messages.outOfMemory, EXIT_ERROR);  // the module's memory cannot hold it
  }
  source = null;
  if (!result.ok) return {out: Buffer.from(result.output), status: EXIT_ERROR};
  let written = false;
  try {
    written = await writeObject(objectPath, platformText(result.object));
  } catch {
    // a folder that cannot be entered
  }
  if (!written) return say(vorn.messages.cannotWriteObject, EXIT_ERROR);
  return {out: Buffer.alloc(0), status: EXIT_OK};
}

// Prints `out` and sets the exit status; a message that cannot be shown is said on the error
// stream.
function finish({out, status}, vorn) {
  process.exitCode = status;
  try {
    if (closedStdout && out.length > 0) throw new Error('standard output is closed');
    writeAll(1, platformText(out));
  } catch {
    sayOnStderr(vorn.messages.cannotWriteStdout);
    if (status === EXIT_OK) process.exitCode = EXIT_ERROR;
  }
}

// Says `line` on the error stream, if it can be said at all.
function sayOnStderr(line) {
  try {
    writeAll(2, platformText(Buffer.from(line)));
  } catch {
    // nowhere left to say it
  }
}

const closedStdout = stdoutWasClosed();
load().then(async (vorn) => {
  const args = commandArguments();
  if (args === null) {
    sayOnStderr(NODE_CANNOT_NAME);
    process.exitCode = EXIT_ERROR;
    return;
  }
  finish(await run(vorn, args), vorn);
}, (e) => {
  sayOnStderr(/memory/i.test(String(e && e.message)) ? NODE_CANNOT_START : `${e.message}\n`);
  process.exitCode = EXIT_ERROR;
});
