#!/usr/bin/env node
// vorn SOURCE: assembles one source file into its object file, as the native command does.
// The assembler, its messages and the object-path rule come from the module; this file adds
// the file handling, keeping the native command's promises with what Node.js offers:
// - the source is read as bytes, and its name taken as the bytes it is;
// - the object never replaces the source (by file identity, so another name or a link of it
//   is refused too);
// - the object is written whole to a new file beside it and renamed into place, so an earlier
//   object is either the whole new text or as it was; its owner and mode are kept;
// - a link at the object path is followed only where the system follows it, with its
//   protections;
// - a write-protected object is refused; a device or a pipe is written, never replaced;
// - where no new file may be made beside it, a writable earlier object is written in place,
//   the bytes past its end first, so a full disk fails before its text is touched;
// - a terminating signal waits for the run's one synchronous step to end, so it never leaves a
//   temporary file, and then ends the process as it would have.
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

const WINDOWS = process.platform === 'win32';
const LINUX = process.platform === 'linux';
const {O_WRONLY, O_CREAT, O_EXCL, O_NOFOLLOW = 0, W_OK} = fs.constants;

// Every signal whose default action ends the process and that Node.js can hold. Not the
// real-time ones, which it cannot, nor SIGBUS, SIGFPE, SIGILL and SIGSEGV, whose handler would
// return to the faulting instruction.
const CLEANUP_SIGNALS = ['SIGHUP', 'SIGINT', 'SIGQUIT', 'SIGTRAP', 'SIGABRT', 'SIGUSR1',
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
// name need not be. On Linux they are read from the system; elsewhere they are text already.
function commandArguments() {
  const args = process.argv.slice(2).map((a) => Buffer.from(a));
  if (!LINUX) return args;
  let raw;
  try {
    raw = fs.readFileSync('/proc/self/cmdline');
  } catch {
    return args;
  }
  const all = [];
  for (let at = 0; at < raw.length;) {
    const end = raw.indexOf(0, at);
    all.push(raw.subarray(at, end < 0 ? raw.length : end));
    at = end < 0 ? raw.length : end + 1;
  }
  return all.length >= args.length ? all.slice(all.length - args.length) : args;
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

// Writes all of `bytes` at `position` (null: where the file stands), waiting where a pipe is
// full.
function writeAll(fd, bytes, position = null) {
  for (let at = 0; at < bytes.length;) {
    try {
      at += fs.writeSync(fd, bytes, at, bytes.length - at, position === null ? null : position + at);
    } catch (e) {
      if (e.code !== 'EAGAIN') throw e;
    }
  }
}

// As many links as Linux follows in one lookup.
const MAX_LINK_HOPS = 40;

// The object path is a symbolic link. Whether it is followed is the system's decision, asked by
// an ordinary look-up through it, with the system's protections (Linux with
// fs.protected_symlinks=1 follows no link in a sticky world-writable folder whose owner is
// neither the folder's owner nor the one who follows it). It is then followed by hand, one link
// at a time, each from the folder that holds it (the working folder), so the depth of the
// folders does not matter. The place is the final target, the file the system reached; a
// dangling link's target is made only when the new text is put there. Null where the system
// does not follow it, or it changed meanwhile.
function followLink(name) {
  let reached = null;
  try {
    reached = fs.statSync(name, {bigint: true});
  } catch (e) {
    if (e.code !== 'ENOENT') return null;
  }
  for (let hop = 0; hop < MAX_LINK_HOPS; ++hop) {
    let st;
    try {
      st = fs.lstatSync(name, {bigint: true});
    } catch (e) {
      return e.code === 'ENOENT' && reached === null ? {path: name, exists: false} : null;
    }
    if (!st.isSymbolicLink()) {
      return reached !== null && sameFile(st, reached) ? {path: name, exists: true, st} : null;
    }
    name = enterFolder(fs.readlinkSync(name, {encoding: 'buffer'}));
  }
  return null;
}

// Makes the folder of `path` the working folder and gives the name in it, so that names are
// short whatever the folder's depth (Node.js has no folder descriptors to look names up in).
// A folder whose name is not UTF-8 (which process.chdir cannot take) or cannot be entered is
// left to the whole path, which names the same file from the working folder as it is.
function enterFolder(path) {
  const folder = folderOf(path);
  const text = folder.toString();
  if (folder.length === 0 || !Buffer.from(text).equals(folder)) return path;
  try {
    process.chdir(text);
  } catch {
    return path;
  }
  return path.subarray(folder.length);
}

// Where the object goes: {path, exists, st}. Only a name that does not exist counts
// as no object; any other failure to look it up is a failure (null).
function locate(objectPath) {
  let st;
  try {
    st = fs.lstatSync(objectPath, {bigint: true});
  } catch (e) {
    return e.code === 'ENOENT' ? {path: objectPath, exists: false} : null;
  }
  if (st.isSymbolicLink()) return followLink(objectPath);
  return {path: objectPath, exists: true, st};
}

function mayWrite(path) {
  try {
    fs.accessSync(path, W_OK);
    return true;
  } catch {
    return false;
  }
}

// The case where no new file may be made beside the object (a read-only folder, a sticky
// one): the earlier object, writable, is written in place. The bytes past its end (or, for a
// text no longer than it, the last byte) are written first, where the disk's room and the
// file-size limit are met; if they are not, it is cut back to its own length, as it was. Only
// then is the rest written over it from the start, and it is cut to the new length.
function writeInPlace(place, bytes) {
  const fd = fs.openSync(place.path, O_WRONLY | O_NOFOLLOW);
  try {
    const st = fs.fstatSync(fd, {bigint: true});
    if (!sameFile(st, place.st)) return false;
    if (!st.isFile()) {  // a device or a pipe: written
      writeAll(fd, bytes);
      return true;
    }
    const earlier = Number(st.size);
    const first = Math.min(earlier, Math.max(bytes.length - 1, 0));
    try {
      writeAll(fd, bytes.subarray(first), first);
    } catch {
      if (first === earlier) fs.ftruncateSync(fd, earlier);
      return false;
    }
    writeAll(fd, bytes.subarray(0, first), 0);
    fs.ftruncateSync(fd, bytes.length);
    return true;
  } finally {
    fs.closeSync(fd);  // a late write error throws here
  }
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

// Writes `bytes` to a new file in the object's folder and renames it over the object. Where
// the folder allows no new file, or the object may not be replaced (a sticky folder), a
// writable earlier object is written in place instead.
function replaceObject(place, bytes) {
  const mode = place.exists ? Number(place.st.mode & 0o777n) : 0o666;
  const folder = folderOf(place.path);
  let fd = null;
  let temporary = null;
  while (fd === null) {
    temporary = Buffer.concat([folder, Buffer.from(`.vorn-${crypto.randomBytes(6).toString('hex')}.tmp`)]);
    try {
      fd = fs.openSync(temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, mode);
    } catch (e) {
      if (e.code === 'EEXIST') continue;
      return place.exists && (e.code === 'EACCES' || e.code === 'EPERM') && writeInPlace(place, bytes);
    }
  }
  let renamed = false;
  let refused = false;
  try {
    if (place.exists) keepOwnerAndMode(fd, place.st);
    writeAll(fd, bytes);
    const written = fd;
    fd = null;
    fs.closeSync(written);  // a late write error throws here
    fs.renameSync(temporary, place.path);
    renamed = true;
    return true;
  } catch (e) {
    // A sticky folder lets no one replace another user's file, only write it.
    refused = e.syscall === 'rename' && (e.code === 'EACCES' || e.code === 'EPERM');
  } finally {
    if (fd !== null) closeQuietly(fd);
    if (!renamed) removeQuietly(temporary);
  }
  return refused && place.exists && writeInPlace(place, bytes);
}

function closeQuietly(fd) {
  try {
    fs.closeSync(fd);
  } catch {
    // already failed: the failure is reported
  }
}

function removeQuietly(path) {
  try {
    fs.unlinkSync(path);
  } catch {
    // never made, or gone
  }
}

// Puts `bytes` in place as the object file `objectPath`. False, with nothing left behind and
// an earlier object as it was, on any failure.
function writeObject(objectPath, bytes) {
  try {
    const place = locate(enterFolder(objectPath));
    if (place === null) return false;
    // A folder or a write-protected object stays as it is; a device or a pipe is written.
    if (place.exists && (place.st.isDirectory() || !mayWrite(place.path))) return false;
    return place.exists && !place.st.isFile() ? writeInPlace(place, bytes)
                                             : replaceObject(place, bytes);
  } catch {
    return false;
  }
}

// Whether standard output was closed when the process started: Node.js puts /dev/null there
// then, opened for reading and writing, where a shell's redirection opens it for writing.
function stdoutWasClosed() {
  if (!LINUX) return false;
  try {
    const flags = /flags:\s*([0-7]+)/.exec(fs.readFileSync('/proc/self/fdinfo/1', 'latin1'));
    return fs.readlinkSync('/proc/self/fd/1') === '/dev/null' && flags !== null &&
           (parseInt(flags[1], 8) & 3) === 2;
  } catch {
    return false;
  }
}

// Runs the command on `args` (the arguments after the program's name, as bytes). Returns what
// to print and the exit status.
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
  if (!writeObject(objectPath, platformText(result.object))) {
    return say(vorn.messages.cannotWriteObject, EXIT_ERROR);
  }
  return {out: Buffer.alloc(0), status: EXIT_OK};
}

// A terminating signal is taken as soon as the run's synchronous step has ended (a JavaScript
// handler cannot run inside it): then nothing is half done, and the process ends by the signal
// itself, as the caller expects.
function endBySignal(signal) {
  for (const s of CLEANUP_SIGNALS) process.removeAllListeners(s);
  process.kill(process.pid, signal);
}
for (const signal of CLEANUP_SIGNALS) {
  try {
    process.on(signal, endBySignal);
  } catch {
    // a signal this system does not have
  }
}

const closedStdout = stdoutWasClosed();
load().then((vorn) => {
  const {out, status} = run(vorn, commandArguments());
  process.exitCode = status;
  try {
    if (closedStdout && out.length > 0) throw new Error('standard output is closed');
    writeAll(1, platformText(out));
  } catch {
    try {
      writeAll(2, platformText(Buffer.from(vorn.messages.cannotWriteStdout)));
    } catch {
      // nowhere left to say it
    }
    if (status === EXIT_OK) process.exitCode = EXIT_ERROR;
  }
  // One more turn of the event loop, which reads the signals that came during the run: a
  // process ends only when nothing is left to do, without looking for them.
  setImmediate(() => {});
});
