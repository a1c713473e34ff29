// How the object file is put in place, end to end, when the ordinary way is not open: long
// names, signals, standard output that cannot be written, links, permissions, and paths that
// hold line terminators.
#include <gtest/gtest.h>

#include <iostream>

#include "e2e_support.h"

namespace {

using namespace vorn::e2e;
namespace platform = vorn::platform;

const std::string GOOD = ".SYMBOL .CODE 0 RET R1 .DATA 0 .END\n";
const std::string BAD = ".SYMBOL .CODE 0 JUMP\n";
const std::string EARLIER = "earlier object\n";

std::string object_of_good(const std::string& header_path) {
  return native("var obj =[  // " + header_path + "\n0, 1,\n50, 1, 0, 0,\n0, 0,\n0];\n");
}

// Gives a file (a link itself, not its target) to nobody, as root.
int give_to_nobody(const fs::path& p) {
  return platform::spawn("/bin/chown", {"-h", "65534:65534", p.string()}).status;
}

platform::SpawnResult spawn_vorn(const fs::path& cwd, const std::string& arg,
                                 platform::SpawnOptions options = {}) {
  options.cwd = cwd.string();
  return platform::spawn(program_under_test(), {arg}, options);
}

// Runs vorn on `arg` in `cwd` as nobody (given as root); the native build runs as a copy in
// `scratch`, as the build may be out of nobody's reach.
platform::SpawnResult spawn_as_nobody(const fs::path& scratch, const fs::path& cwd,
                                      const std::string& arg, platform::SpawnOptions options = {}) {
  std::string vorn = program_under_test();
  if (!testing_another_command()) {
    vorn = (scratch / "vorn").string();
    if (!fs::exists(vorn)) fs::copy_file(VORN_BINARY, vorn);
  }
  options.cwd = cwd.string();
  options.user = 65534;
  return platform::spawn(vorn, {arg}, options);
}

// Runs the shell `script` in `cwd`, where "$0" is the program under test.
platform::SpawnResult shell(const fs::path& cwd, const std::string& script,
                            const char* sh = "/bin/sh") {
  platform::SpawnOptions options;
  options.cwd = cwd.string();
  return platform::spawn(sh, {"-c", script, program_under_test()}, options);
}

// Catches a temporary name built from the object's name, which a legal long name or a deep
// path pushes past the system's limits.
TEST(SafeOutput, LongObjectNameAndDeepPath) {
  if (ON_WINDOWS) GTEST_SKIP() << "paths past 260 characters need a long-path manifest";
  ScratchDir d;
  const std::string name(251, 'n');  // the object's name is 255 bytes, the most a name may be
  write_file(d.path / (name + ".s"), GOOD);
  EXPECT_EQ(run_vorn(d.path, {name + ".s"}).status, 0);
  EXPECT_EQ(read_file(d.path / (name + ".obj")), object_of_good(name + ".obj"));

  // The object's whole path, from "/", is 4090 bytes: a file that may be made.
  std::string path = d.path.relative_path().generic_string() + "/";
  while (4090 - path.size() - 5 > 202) path += std::string(200, 'd') + "/";
  path += std::string(4090 - path.size() - 6, 'e') + "/";
  fs::create_directories("/" + path);
  write_file("/" + path + "p.s", GOOD);
  EXPECT_EQ(run_vorn("/", {path + "p.s"}).status, 0);
  EXPECT_EQ(read_file("/" + path + "p.obj"), object_of_good(path + "p.obj"));

  // Catches an object path past the system's path limit taken for "no object": a link there
  // was replaced by a file and the earlier mode lost. The source path is 4095 bytes, its
  // object's 4097; the link is made from inside the folder, where its name is short.
  const std::string deep = "/" + path;
  const std::string source = std::string(4095 - path.size() - 2, 's') + ".s";
  const std::string object = source.substr(0, source.size() - 2) + ".obj";
  write_file(deep + "real.obj", EARLIER);
  fs::permissions(deep + "real.obj", fs::perms(0640));
  platform::SpawnOptions in_deep;
  in_deep.cwd = deep;
  ASSERT_EQ(platform::spawn("/bin/ln", {"-s", "real.obj", object}, in_deep).status, 0);
  ASSERT_EQ(platform::spawn("/bin/cp", {"p.s", source}, in_deep).status, 0);
  const bool follows = !testing_another_command();  // the package's command refuses links
  EXPECT_EQ(run_vorn("/", {path + source}).status, follows ? 0 : 1);
  EXPECT_EQ(read_file(deep + "real.obj"), follows ? object_of_good(path + object) : EARLIER);
  EXPECT_EQ(fs::status(deep + "real.obj").permissions(), fs::perms(0640));
  EXPECT_EQ(platform::spawn("/usr/bin/test", {"-L", object}, in_deep).status, 0);

  // Caught: a link in a folder whose whole path (4096 bytes and more) is past the limit followed
  // by that path (bash's cd, unlike dash's, goes there).
  const platform::SpawnResult r =
      shell(deep,
            "mkdir xxxxxxxxxx && cd xxxxxxxxxx && cp ../p.s . && echo >real.obj && "
            "ln -s real.obj p.obj && \"$0\" p.s && cat real.obj",
            "/bin/bash");
  EXPECT_EQ(r.out, follows ? object_of_good("p.obj") : "error: cannot write object file\n");
  platform::spawn("/bin/rm", {"-rf", "xxxxxxxxxx"}, in_deep);
}

// Catches a temporary file left behind when a terminating signal ends the run while it
// exists, and a handler that swallows the signal instead of ending the process by it. The
// object is the earlier one, or the new one where the name appeared only for the rename. Run
// again where the file system has no unnamed files, so the name lives while the text is
// written: caught then, SIGPWR, SIGSYS, SIGBUS and the real-time signals leaving the file.
TEST(SafeOutput, SignalWhileTheTemporaryFileExists) {
  if (ON_WINDOWS) GTEST_SKIP() << "Wine cannot send a console control event to one child";
  std::vector<std::string> file_systems = {""};
#if defined(VORN_NO_UNNAMED_FILES)
  file_systems.push_back(VORN_NO_UNNAMED_FILES);
#endif
  // SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGALRM, SIGPWR, SIGSYS; SIGBUS, SIGRTMIN
  for (const std::string& preload : file_systems)
    for (int sig : {2, 15, 1, 3, 10, 14, 30, 31, 7, 34}) {
      SCOPED_TRACE(preload + " " + std::to_string(sig));
      if (testing_another_command() && (sig == 7 || sig == 34)) continue;  // README: Node.js
#if defined(VORN_SANITIZED)
      if (sig == 7) continue;  // the sanitizers take SIGBUS for a fault of the program's own
#endif
      ScratchDir d;
      write_file(d.path / "p.s", GOOD);
      write_file(d.path / "p.obj", EARLIER);
      platform::SpawnOptions options;
      options.signal_on_temporary = sig;
      options.preload = preload;
      platform::SpawnResult r = spawn_vorn(d.path, "p.s", options);
      if (!r.signalled_with_temporary) GTEST_SKIP() << "the child cannot be traced here";
      EXPECT_EQ(r.signal, sig);
      const std::string object = read_file(d.path / "p.obj");
      EXPECT_TRUE(object == EARLIER || object == object_of_good("p.obj")) << object;
      EXPECT_EQ(sorted_files(d.path), (std::vector<std::string>{"p.obj", "p.s"}));
    }
}

// Catches a signal during the read taken only once the run is done, the object replaced after
// the run said it had ended by the signal: the source is a pipe that is slow to come.
TEST(SafeOutput, SignalBeforeTheObjectIsWritten) {
  if (ON_WINDOWS) GTEST_SKIP() << "Windows has no named pipes among its files";
  ScratchDir d;
  write_file(d.path / "p.obj", EARLIER);
  const platform::SpawnResult r =
      shell(d.path,
            "mkfifo p.s; exec 3<>p.s; printf '.SYMBOL .CODE 0 ' >&3; \"$0\" p.s 3>&- & v=$!; "
            "sleep 1; kill -TERM $v; echo 'RET R1 .DATA 0 .END' >&3; exec 3>&-; wait $v; "
            "echo status $?");
  EXPECT_EQ(r.out, "status 143\n");
  EXPECT_EQ(read_file(d.path / "p.obj"), EARLIER);
  EXPECT_EQ(sorted_files(d.path), (std::vector<std::string>{"p.obj", "p.s"}));
}

// Catches a run killed by SIGPIPE, or a message lost without a word, when standard output
// cannot be written; the status and the object stay as they would be. And a full pipe that
// another program made non-blocking taken for one that cannot be written.
TEST(SafeOutput, StandardOutputThatCannotBeWritten) {
  using platform::StdoutTo;
  for (StdoutTo to : {StdoutTo::full_device, StdoutTo::closed_pipe, StdoutTo::closed}) {
    if (to == StdoutTo::full_device && (ON_WINDOWS || !fs::exists("/dev/full"))) {
      continue;  // no such device
    }
    if (to == StdoutTo::closed && ON_WINDOWS) continue;
    ScratchDir d;
    write_file(d.path / "bad.s", BAD);
    write_file(d.path / "good.s", GOOD);
    platform::SpawnOptions options;
    options.out = to;
    platform::SpawnResult bad = spawn_vorn(d.path, "bad.s", options);
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, native("vorn: cannot write standard output\n"));
    platform::SpawnResult good = spawn_vorn(d.path, "good.s", options);
    EXPECT_EQ(good.status, 0);
    EXPECT_EQ(good.err, "");
    EXPECT_EQ(sorted_files(d.path), (std::vector<std::string>{"bad.s", "good.obj", "good.s"}));
  }
  if (ON_WINDOWS) return;
  ScratchDir d;
  const std::string line = ".SYMBOL .CODE 0 " + std::string(100'000, 'X');
  write_file(d.path / "long.s", line + "\n");
  const platform::SpawnResult r = shell(
      d.path,
      "{ perl -MFcntl -e 'fcntl(STDOUT, F_SETFL, O_NONBLOCK) or die; exec @ARGV' \"$0\" long.s; "
      "echo \"status $?\" >&2; } | { sleep 1; wc -c; }");
  const std::string message = "line 1 error: undefined op symbol " + line.substr(16) + "\n" + line;
  EXPECT_EQ(r.out, std::to_string(message.size() + 1) + "\n");
  EXPECT_EQ(r.err, "status 1\n");
}

// Catches a file name that is not UTF-8 taken for a missing file, and a closed standard output
// taken for an open one, where /proc is hidden (as in some containers). The package's command,
// which needs /proc for such a name, says so.
TEST(SafeOutput, WhereProcIsHidden) {
  if (ON_WINDOWS || platform::current_user() != 0) GTEST_SKIP() << "needs root to hide /proc";
#if defined(VORN_SANITIZED)
  GTEST_SKIP() << "the sanitizers' runtime reads /proc";
#endif
  ScratchDir d;
  write_file(d.path / "caf\xe9.s", GOOD);
  write_file(d.path / "bad.s", BAD);
  const platform::SpawnResult r = shell(
      d.path,
      "unshare -m sh -c 'mount -t tmpfs none /proc || exit 77; \"$0\" caf\xe9.s; echo status $?; "
      "\"$0\" bad.s >&-; echo status $?' \"$0\" 2>&1");
  if (r.status == 77 || r.out.find("unshare") != std::string::npos) {
    GTEST_SKIP() << "no mount namespace here";
  }
  EXPECT_EQ(r.out, (testing_another_command() ? "vorn: Node.js cannot read a file name that is "
                                                "not UTF-8 without /proc; use the native "
                                                "command\nstatus 1\n"
                                              : "status 0\n") +
                       std::string("vorn: cannot write standard output\nstatus 1\n"));
}

// Catches a link at the object path replaced by a regular file while its target keeps the old
// text, a dangling link replaced instead of creating its target, and a chain of as many links
// as the system follows (40) refused. The package's command refuses every link.
TEST(SafeOutput, ObjectPathThatIsASymbolicLink) {
  ScratchDir d;
  fs::create_directory(d.path / "out");
  write_file(d.path / "out" / "real.obj", EARLIER);
  if (!platform::make_symbolic_link("out/real.obj", (d.path / "p.obj").string())) {
    GTEST_SKIP() << "no symbolic link can be made here";
  }
  ASSERT_TRUE(platform::make_symbolic_link("p.obj", (d.path / "chain.obj").string()));
  ASSERT_TRUE(platform::make_symbolic_link("out/made.obj", (d.path / "dangling.obj").string()));
  ASSERT_TRUE(platform::make_symbolic_link("real.obj", (d.path / "out" / "l39").string()));
  for (int k = 38; k >= 1; --k) {
    ASSERT_TRUE(platform::make_symbolic_link("l" + std::to_string(k + 1),
                                             (d.path / "out" / ("l" + std::to_string(k))).string()));
  }
  ASSERT_TRUE(platform::make_symbolic_link("out/l1", (d.path / "forty.obj").string()));
  const bool refused = testing_another_command();
  const std::pair<std::string, std::string> rows[] = {
      {"p", "real.obj"}, {"chain", "real.obj"}, {"dangling", "made.obj"}, {"forty", "real.obj"}};
  for (const auto& [name, target] : rows) {
    SCOPED_TRACE(name);
    write_file(d.path / (name + ".s"), GOOD);
    const Outcome r = run_vorn(d.path, {name + ".s"});
    EXPECT_EQ(r.status, refused ? 1 : 0);
    EXPECT_EQ(r.out, refused ? native("error: cannot write object file\n") : "");
    const std::string earlier = target == "made.obj" ? "" : EARLIER;
    EXPECT_EQ(read_file(d.path / "out" / target), refused ? earlier : object_of_good(name + ".obj"));
    EXPECT_TRUE(fs::is_symlink(d.path / (name + ".obj")));
  }
  // The sources, links and targets alone: no temporary file anywhere.
  EXPECT_EQ(sorted_files(d.path).size(), refused ? 49u : 50u);

  if (ON_WINDOWS) return;
  // Caught: a relative link in a folder whose name is not UTF-8 followed from the working folder.
  fs::create_directory(d.path / "caf\xe9");
  write_file(d.path / "caf\xe9" / "rel.s", GOOD);
  fs::create_symlink("made.obj", d.path / "caf\xe9" / "rel.obj");
  EXPECT_EQ(run_vorn(d.path, {"caf\xe9/rel.s"}).status, refused ? 1 : 0);
  EXPECT_EQ(fs::exists(d.path / "caf\xe9" / "made.obj"), !refused);
  EXPECT_FALSE(fs::exists(d.path / "made.obj"));

  // Caught: a link through /proc (the standard output, a pipe) refused where the shell writes.
  const platform::SpawnResult out =
      shell(d.path, "ln -s /dev/stdout o.obj && cp p.s o.s && \"$0\" o.s | cat");
  EXPECT_EQ(out.out, refused ? "error: cannot write object file\n" : object_of_good("o.obj"));

  // Caught: the target made early and left empty when the run then failed (out of descriptors).
  ASSERT_TRUE(platform::make_symbolic_link("out/never.obj", (d.path / "few.obj").string()));
  write_file(d.path / "few.s", GOOD);
  for (int limit = 4; limit <= 12 && !fs::exists(d.path / "out" / "never.obj"); ++limit) {
    const platform::SpawnResult r =
        shell(d.path, "ulimit -n " + std::to_string(limit) + " && exec \"$0\" few.s");
    EXPECT_EQ(r.status == 0 ? read_file(d.path / "out" / "never.obj") : "",
              r.status == 0 ? object_of_good("few.obj") : "")
        << limit;
    EXPECT_EQ(fs::exists(d.path / "out" / "never.obj"), r.status == 0) << limit;
  }
}

// Catches a named pipe at the object path (or at the end of a link there) replaced by a regular
// file, so that its reader gets nothing: a pipe is written, as any program writes a file. The
// package's command refuses it at once, reader or none (it could not be stopped while it
// waited for one).
TEST(SafeOutput, PipeAtTheObjectPath) {
  if (ON_WINDOWS) GTEST_SKIP() << "Windows has no named pipes among its files";
  const bool refused = testing_another_command();
  for (const std::string name : {"pipe", "link"}) {
    SCOPED_TRACE(name);
    ScratchDir d;
    write_file(d.path / (name + ".s"), GOOD);
    ASSERT_EQ(platform::spawn("/usr/bin/mkfifo", {(d.path / "pipe.obj").string()}).status, 0);
    if (name == "link") fs::create_symlink("pipe.obj", d.path / "link.obj");
    // A reader that gives up after a while, so that a replaced pipe fails the test, not hangs it.
    const std::string reader = refused ? "" : "timeout 10 cat pipe.obj >got & ";
    const platform::SpawnResult r =
        shell(d.path, reader + "timeout -k 1 10 \"$0\" " + name + ".s; s=$?; wait; exit $s");
    EXPECT_EQ(r.status, refused ? 1 : 0) << r.out;
    if (!refused) {
      EXPECT_EQ(read_file(d.path / "got"), object_of_good(name + ".obj"));
    }
    EXPECT_EQ(fs::status(d.path / "pipe.obj").type(), fs::file_type::fifo);
  }
}

// Catches links followed where the system refuses to follow them: another user's link in a
// sticky world-writable folder (as the system's temporary folder is) must not let that user
// replace or create a file of the one who runs vorn.
TEST(SafeOutput, LinkThatTheSystemRefusesToFollow) {
  if (ON_WINDOWS || platform::current_user() != 0 ||
      read_file("/proc/sys/fs/protected_symlinks") != "1\n") {
    GTEST_SKIP() << "needs root (to plant another user's link) and fs.protected_symlinks=1";
  }
  ScratchDir d;
  fs::create_directory(d.path / "victim");
  fs::create_directory(d.path / "sticky");
  fs::permissions(d.path, fs::perms(0755));
  fs::permissions(d.path / "sticky", fs::perms::all | fs::perms::sticky_bit);
  write_file(d.path / "victim" / "important", EARLIER);
  for (const std::string name : {"p", "new"}) {
    SCOPED_TRACE(name);
    write_file(d.path / "sticky" / (name + ".s"), GOOD);
    const fs::path link = d.path / "sticky" / (name + ".obj");
    fs::create_symlink(name == "p" ? "../victim/important" : "../victim/newfile", link);
    ASSERT_EQ(give_to_nobody(link), 0);  // planted by nobody
    Outcome r = run_vorn(d.path / "sticky", {name + ".s"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "error: cannot write object file\n");
  }
  EXPECT_EQ(read_file(d.path / "victim" / "important"), EARLIER);
  EXPECT_EQ(sorted_files(d.path).size(), 7u);  // the links, sources and victim as they were

  // Caught: a link that the system follows, refused because it was followed again by a whole
  // path through an ancestor its user may not search (nobody, in a folder under root's 0700).
  // The package's command refuses every link.
  const fs::path mine = d.path / "sticky" / "closed" / "mine";
  fs::create_directories(mine);
  fs::permissions(mine, fs::perms::all);
  write_file(mine / "p.s", GOOD);
  fs::create_symlink("real.obj", mine / "p.obj");
  fs::permissions(mine.parent_path(), fs::perms(0700));
  const platform::SpawnResult r = spawn_as_nobody(d.path, mine, "p.s");
  fs::permissions(mine.parent_path(), fs::perms(0755));
  const bool follows = !testing_another_command();
  EXPECT_EQ(r.status, follows ? 0 : 1) << r.out;
  EXPECT_EQ(fs::exists(mine / "real.obj") ? read_file(mine / "real.obj") : "(none)",
            follows ? object_of_good("p.obj") : "(none)");
}

// Catches a write-protected object silently replaced, permission bits or owner lost, a
// temporary name left where no name can be removed, and an earlier object written over where
// it may not be replaced: there it is refused and stays as it was.
TEST(SafeOutput, PermissionsOfTheEarlierObjectAndItsFolder) {
  using fs::perms;
  struct Row {
    const char* what;
    perms folder;
    perms object;     // the earlier object's; perms::none: there is none
    bool other_user;  // the object and folder belong to another user than the one running vorn
    bool replaced;
    std::uint64_t file_size_limit = 0;
    long owner = -1;  // the earlier object's owner (nobody, given as root); it must keep it
    const char* attribute = nullptr;  // given to the folder with chattr (root, ext2 to ext4)
  };
  const perms all = perms::all;
  const perms sticky = perms::sticky_bit;
  const Row rows[] = {
      {"write-protected object", all, perms(0444), true, false},
      {"permission bits kept", perms(0755), perms(0640), false, true},
      {"read-only folder", perms(0555), perms(0666), true, false},
      {"sticky folder, another user's file", all | sticky, perms(0666), true, false},
      {"read-only folder, object past the file-size limit", perms(0555), perms(0666), true, false,
       40},  // the message fits, the object does not
      // Caught: drop boxes (write and search, no read) refused, the folder opened for reading.
      {"drop box 0733", perms(0733), perms(0666), true, true},
      {"drop box 0333", perms(0333), perms(0666), true, true},
      {"sticky drop box 1733, another user's file", perms(0733) | sticky, perms(0666), true, false},
      {"sticky drop box 1733, a new object", perms(0733) | sticky, perms::none, true, true},
      // Caught: root taking a user's object for itself, out of that user's reach.
      {"owner kept", perms(0755), perms(0600), false, true, 0, 65534},
      {"append-only folder holding an earlier object", all, perms(0666), false, false, 0, -1, "+a"},
      {"append-only folder, a new object", all, perms::none, false, true, 0, -1, "+a"},
  };
  const bool root = platform::current_user() == 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const bool earlier = row.object != perms::none;
    // Windows has no such bits but the object's read-only attribute; ACLs stay as they are.
    if (ON_WINDOWS && (!earlier || (row.object & perms::owner_write) != perms::none)) continue;
    if (!ON_WINDOWS && (row.other_user || row.owner >= 0) && !root) continue;  // no other user
    if (ON_WINDOWS && (row.file_size_limit != 0 || row.owner >= 0)) continue;  // no such limits
    if (row.attribute != nullptr && (ON_WINDOWS || !root)) continue;
    ScratchDir d;
    const fs::path f = d.path / "f";
    fs::create_directory(f);
    write_file(f / "p.s", GOOD);
    fs::permissions(d.path, perms(0755));     // the other user reaches the folder and the source,
    fs::permissions(f / "p.s", perms(0644));  // whatever the umask
    if (earlier) {
      write_file(f / "p.obj", EARLIER);
      fs::permissions(f / "p.obj", row.object);
    }
    if (row.owner >= 0) {
      ASSERT_EQ(give_to_nobody(f / "p.obj"), 0);
    }
    fs::permissions(f, row.folder);
    const auto chattr = [&](char sign) {
      return platform::spawn("/usr/bin/chattr",
                             {sign + std::string(row.attribute + 1), f.string()});
    };
    if (row.attribute != nullptr && chattr(row.attribute[0]).status != 0) continue;  // not here
    platform::SpawnOptions options;
    options.cwd = f.string();
    options.file_size_limit = row.file_size_limit;
    platform::SpawnResult r = row.other_user && root
                                  ? spawn_as_nobody(d.path, f, "p.s", options)
                                  : platform::spawn(program_under_test(), {"p.s"}, options);
    if (row.attribute != nullptr) chattr('-');
    fs::permissions(f, all);
    EXPECT_EQ(r.status, row.replaced ? 0 : 1);
    EXPECT_EQ(r.out, row.replaced ? "" : native("error: cannot write object file\n"));
    EXPECT_EQ(read_file(f / "p.obj"), row.replaced ? object_of_good("p.obj") : EARLIER);
    if (!ON_WINDOWS && earlier) {
      EXPECT_EQ(fs::status(f / "p.obj").permissions(), row.object);
      if (row.owner >= 0) {
        EXPECT_EQ(platform::spawn("/usr/bin/stat", {"-c%u", (f / "p.obj").string()}).out,
                  std::to_string(row.owner) + "\n");
      }
    }
    EXPECT_EQ(sorted_files(f), (std::vector<std::string>{"p.obj", "p.s"}));
    if (fs::exists(f / "p.obj")) fs::permissions(f / "p.obj", all);
  }
}

// Catches an earlier object written over part-way on a full disk: a sparse one, writable, in a
// read-only folder, whose holes would need new room (ext2 reserves none, tmpfs neither). It is
// refused and stays byte for byte as it was.
TEST(SafeOutput, EarlierObjectOnAFullDiskStaysAsItWas) {
  if (ON_WINDOWS || platform::current_user() != 0) GTEST_SKIP() << "needs root to mount";
  const std::string file_systems[] = {
      "dd if=/dev/zero of=img bs=1k count=512 2>/dev/null && mkfs.ext2 -q -F -m 0 img && "
      "mount -o loop img m",
      "mount -t tmpfs -o size=512k tmpfs m"};
  for (const std::string& mount : file_systems) {
    SCOPED_TRACE(mount);
    ScratchDir d;
    fs::permissions(d.path, fs::perms(0755));
    if (shell(d.path, "mkdir m && " + mount + " && mkdir m/ro").status != 0) {
      GTEST_SKIP() << "no loop device, ext2 or tmpfs here";
    }
    struct Unmount {
      fs::path at;
      ~Unmount() { platform::spawn("/bin/umount", {at.string()}); }
    } unmount{d.path / "m"};
    const fs::path ro = d.path / "m" / "ro";
    const std::string big = ".SYMBOL .CODE 0\n" + repeat("ADD R1 R2 R3\n", 1999) + ".DATA 0 .END\n";
    write_file(d.path / "big.s", big);
    write_file(ro / "big.s", big);
    ASSERT_EQ(run_vorn(d.path, {"big.s"}).status, 0);
    // Data in its first 8 KiB and in the block of the new text's last byte, holes elsewhere.
    const std::size_t length = fs::file_size(d.path / "big.obj");
    ASSERT_EQ(shell(ro, "head -c 8192 /dev/urandom >big.obj && truncate -s " +
                            std::to_string(length + 8192) + " big.obj && head -c 4096 /dev/urandom "
                            "| dd of=big.obj bs=4096 seek=" + std::to_string((length - 1) / 4096) +
                            " conv=notrunc 2>/dev/null")
                  .status,
              0);
    const std::string earlier = read_file(ro / "big.obj");
    ASSERT_EQ(give_to_nobody(ro / "big.obj"), 0);
    fs::permissions(ro, fs::perms(0555));
    shell(d.path, "dd if=/dev/zero of=m/fill bs=1k 2>/dev/null; sync");  // the disk is full
    const platform::SpawnResult r = spawn_as_nobody(d.path, ro, "big.s");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "error: cannot write object file\n");
    EXPECT_TRUE(read_file(ro / "big.obj") == earlier);
    EXPECT_EQ(sorted_files(ro), (std::vector<std::string>{"big.obj", "big.s"}));
  }
}

// Catches a header comment ended early by a line terminator in the path, which leaves an
// object that no longer evaluates; other characters are written as they are.
TEST(SafeOutput, LineTerminatorsInThePathAreWrittenAsQuestionMarks) {
  const std::pair<std::string, std::string> rows[] = {
      {"new\nline", "new?line"},
      {"car\rriage", "car?riage"},
      {"ls\u2028ps\u2029\u2027x", "ls?ps?\u2027x"},
      {"caf\xe9", "caf\xe9"},  // not UTF-8: caught taken as "input file not found"
  };
  for (const auto& [name, shown] : rows) {
    if (ON_WINDOWS && name.find_first_of("\r\n\xe9") != std::string::npos) continue;  // not a name
    ScratchDir d;
    write_file(d.path / u8path(name + ".s"), GOOD);
    EXPECT_EQ(run_vorn(d.path, {name + ".s"}).status, 0);
    EXPECT_EQ(read_file(d.path / u8path(name + ".obj")), object_of_good(shown + ".obj"));
  }
}

// Catches a file of root's made through another user's link: while root runs vorn again and
// again in a sticky folder of its own, the other user puts a link that leads nowhere (into a
// folder of root's), a link to a file of root's, a file of its own, or nothing at the object
// path, in turn, as fast as it can. The system follows none of those links for root there; a
// look-up by name that is not the system's own may land on one that has come back. (Root's
// object is removed after each run: the other user could remove nothing of root's there.)
TEST(Race, AnotherUsersLinksFlippedAtTheObjectPath) {
#if defined(FLIP_LINKS)
  if (platform::current_user() != 0 || read_file("/proc/sys/fs/protected_symlinks") != "1\n") {
    GTEST_SKIP() << "needs root (to be another user) and fs.protected_symlinks=1";
  }
  ScratchDir d;
  fs::permissions(d.path, fs::perms(0755));
  fs::create_directory(d.path / "root-only");
  fs::permissions(d.path / "root-only", fs::perms(0700));
  write_file(d.path / "root-only" / "kept", EARLIER);
  const fs::path sticky = d.path / "sticky";
  fs::create_directory(sticky);
  fs::permissions(sticky, fs::perms::all | fs::perms::sticky_bit);
  write_file(sticky / "prog.s", GOOD);
  platform::SpawnOptions options;
  options.cwd = sticky.string();
  const std::string flip = std::string(FLIP_LINKS) + " 65534 prog.obj " +
                           (d.path / "root-only" / "made").string() + " " +
                           (d.path / "root-only" / "kept").string() + " 20";
  const platform::SpawnResult r = platform::spawn(
      "/bin/sh",
      {"-c", flip + " >swaps & n=0; while kill -0 $! 2>/dev/null; do \"$0\" prog.s >/dev/null "
                    "&& n=$((n + 1)); rm -f prog.obj; done; echo $n objects made, $(cat swaps) swaps",
       program_under_test()},
      options);
  std::cout << r.out;
  EXPECT_EQ(sorted_files(d.path / "root-only"), (std::vector<std::string>{"kept"}));
  EXPECT_EQ(read_file(d.path / "root-only" / "kept"), EARLIER);
#else
  GTEST_SKIP() << "no other user here";
#endif
}

}  // namespace
