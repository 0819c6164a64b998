#include "support.h"

#include <algorithm>
#include <csignal>
#include <set>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Cli = TempDirTest;

// One line per failed file, in argument order; every later argument is still done. The
// switch and palettes reach only the arguments after them.
TEST_F(Cli, LinesAndExitStatus) {
    const Bytes cel = cel_file(8, 2, 2, {1, 2, 3, 4}), colours = random_bytes(768, 1);
    const std::string deep = std::string(120, 'd') + "/" + std::string(120, 'e') + "/",
                      long_name = deep + std::string(250, 'n') + ".cel"; // no room for a suffix
    fs::create_directories(path(deep));
    fs::create_directory(path("ro"));
    fs::create_directory(path("d.gif"));
    for (const char *name :
         {"a.cel", "c.cel", "-I", "x.gif", "h.cel", "s.cel", "d.cel", "ro/x.cel"})
        write_file(path(name), cel);
    write_file(path(long_name), cel);
    write_file(path("b.cel"), cel_file(4, 2, 2, {0x12, 0x34}));
    write_file(path("short.cel"), Bytes(31, 'K'));
    write_file(path("other.cel"), Bytes(40, 0));
    write_file(path("p.kcf"), kiss_file(0x10, 0, 0, 0, 0, 0, colours));
    fs::create_hard_link(path("h.cel"), path("h.gif"));
    fs::create_symlink("s.cel", path("s.gif"));
    fs::permissions(path("h.cel"), fs::perms::none);
    fs::permissions(path("ro"), fs::perms(0555));
    // An unprivileged user runs a copy of the binary that such a user can reach.
    fs::copy_file(QUONDEL_BINARY, path("quondel"));
    const std::string same = ": output would overwrite the input (4).\n",
                      nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups";
    write_file(path("big.cel"), cel_file(8, 65535, 65535, {1, 2, 3}));
    fs::create_directory(path("out"));
    write_file(path("-x.cel"), cel);
    // A doll of 40 palettes and 40 cels, each file opened once: none may stay open.
    std::string many = "(2,2)\n";
    for (const std::string n : {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"})
        for (const std::string m : {"0", "1", "2", "3"}) {
            write_file(path("p" + m + n + ".kcf"), kiss_file(0x10, 0, 0, 0, 0, 0, colours));
            write_file(path("c" + m + n + ".cel"), cel);
            many +=
                "%p" + m + n + ".kcf\n#0 c" + m + n + ".cel *" + std::to_string(stoi(m + n)) + "\n";
        }
    write_file(path("many.cnf"), text(many));
    for (const char *flat : {"z.cel", "Z.cel"})
        write_file(path(flat), cel_file(8, 64, 64, Bytes(4096, 3)));
    const std::string program = QUONDEL_BINARY ": ",
                      usage = "usage: " QUONDEL_BINARY " [-I] [-z] [-s N|all] [-a [N]] [--seed N] "
                              "[-o DIR] [-v] [-l] [-h] [--version] [--] <filenames>";
    // Each row: what runs first (limits, a change of user), the arguments, the lines, the
    // exit status.
    const std::tuple<std::string, std::vector<std::string>, std::string, int> cases[] = {
        {"", {"-I"}, program + "-I comes after the last file and changes nothing\n", 0},
        {"", {"a.cel", "p.kcf", "b.cel", "-i", "c.cel", "./" + long_name}, "", 0},
        {"",
         {"missing.cel", "short.cel", "other.cel", "x.gif", "h.cel", "s.cel", "a.cel"},
         "missing.cel not found.\nshort.cel: error (1).\nother.cel: not cel file (2).\nx.gif" +
             same + "h.cel" + same + "s.cel" + same,
         2},
        {"", {"a.cel", ""}, " not found.\n", 2}, // the last one failed
        // a mistyped switch stops the run before any file is touched, not taken as a file
        {"", {"e.cel", "-Ix", "a.cel"}, program + "unknown switch -Ix\n" + usage + "\n", 1},
        {"", {"--nosuch", "e.cel"}, program + "unknown switch --nosuch\n" + usage + "\n", 1},
        {"",
         {"-o", "nowhere", "e.cel"},
         program + "-o nowhere: no such folder\n" + usage + "\n",
         1},
        {"",
         {"-a", "601", "e.cel"},
         program + "-a takes seconds from 1 to 600\n" + usage + "\n",
         1},
        {"",
         {"--animate=601", "e.cel"},
         program + "-a takes seconds from 1 to 600\n" + usage + "\n",
         1},
        {"", {"--animate=5", "e.cel"}, "", 0}, // the long form takes its number with it
        {"", {"e.cel", "-s"}, program + "-s takes a set from 0 to 9, or all\n" + usage + "\n", 1},
        // "--" ends the switches; a switch after the last file is named, the files done
        {"", {"--", "-x.cel", "e.cel"}, "", 0},
        {"", {"e.cel", "-z"}, program + "-z comes after the last file and changes nothing\n", 0},
        // two arguments that would write one output: the later one is not written
        {"",
         {"e.cel", "./e.cel"},
         "./e.cel: ./e.gif was written earlier in this run; not "
         "written again (25).\n",
         2},
        {nobody,
         {"h.cel", "d.cel", "ro/x.cel"}, // unreadable; no output can be made, and why
         "h.cel: cannot be read: Permission denied.\nd.cel: cannot write d.gif: Is a "
         "directory (3).\nro/x.cel: cannot write ro/x.gif: Permission denied (3).\n",
         2},
        // a read-only doll folder converts into another
        {nobody, {"-o", "out", "ro/x.cel"}, "", 0},
        {"ulimit -v 1048576;", {"-I", "big.cel"}, "big.cel: not enough memory (3).\n", 2},
        {"ulimit -n 32;", {"many.cnf"}, "", 0}, // a low limit on open files
        {"", {"-z", "z.cel"}, "", 0},
        {"", {"-Z", "Z.cel"}, "", 0},
    };
    // The sanitizers' shadow memory and Valgrind do not fit under an address-space limit. Under
    // an emulator the copy is a script handing over to the binary in the build folder, which
    // the other user may not reach (a checkout in root's home, say).
    const bool limits_unusable = QUONDEL_SANITIZED || getenv("QUONDEL_MEMCHECK") != nullptr;
    const std::string skipped = QUONDEL_EMULATED ? nobody : limits_unusable ? "ulimit -v" : "-";
    fs::permissions(path("out"), fs::perms(0777));
    for (const auto &[prefix, args, err, status] : cases) {
        if (prefix.rfind(skipped, 0) == 0) continue;
        write_file(path("e.cel"), cel);
        fs::remove(path("e.gif"));
        const RunResult r =
            run_quondel(dir, args, prefix, prefix == nobody ? path("quondel") : QUONDEL_BINARY);
        EXPECT_EQ(r.exit_status, status) << err;
        EXPECT_EQ(r.err, err);
        EXPECT_FALSE(status == 1 && fs::exists(path("e.gif"))) << "a usage error touches no file";
    }
    EXPECT_TRUE(fs::exists(path("-x.gif")));
    EXPECT_EQ(fs::exists(path("out/x.gif")), skipped != nobody) << "-o for a read-only folder";
    const RunResult usage_line = run_quondel(dir, {});
    EXPECT_EQ(usage_line.out + std::to_string(usage_line.exit_status), usage + "1");
    for (const char *none : {"-I.gif", "short.gif", "other.gif", "p.gif", "big.gif"})
        EXPECT_FALSE(fs::exists(path(none))) << none;
    EXPECT_EQ(read_file(path("x.gif")), cel) << "an input called .gif stays";
    EXPECT_TRUE(fs::exists(path(long_name.substr(0, long_name.size() - 4) + ".gif")));
    // Black before the palette; after it each cel's table has its own depth; -i later only.
    const Bytes a = read_file(path("a.gif")), b = read_file(path("b.gif")),
                c = read_file(path("c.gif"));
    EXPECT_EQ(Bytes(a.begin() + 13, a.begin() + 781), Bytes(768, 0));
    EXPECT_EQ(Bytes(b.begin() + 13, b.begin() + 61), Bytes(colours.begin(), colours.begin() + 48));
    EXPECT_EQ(Bytes(c.begin() + 13, c.begin() + 781), colours);
    EXPECT_EQ(b[78] | c[798] << 8, 0x4000) << "only c.gif is interlaced";
    for (const char *flat : {"z.gif", "Z.gif"}) // 4,096 plain codes take 4,608 bytes
        EXPECT_LT(read_file(path(flat)).size(), 500u) << flat << " is compressed";
    EXPECT_TRUE(run_quondel(dir, {"./-I"}).err.empty() && fs::exists(path("-I.gif")));
    // Help and the version, asked for anywhere, are all that is done; ./--help is a file.
    fs::remove(path("a.gif"));
    const RunResult help = run_quondel(dir, {"a.cel", "-h"}),
                    version = run_quondel(dir, {"--version"}),
                    file = run_quondel(dir, {"./--help"});
    EXPECT_EQ(help.out.substr(0, usage.size() + 1) + std::to_string(help.exit_status),
              usage + "\n0");
    EXPECT_EQ(version.out + std::to_string(version.exit_status), "quondel 1.0.0\n0");
    EXPECT_EQ(file.err, "./--help not found.\n");
    const RunResult no_set = run_quondel(dir, {"a.cel", "-s", "10"}); // checked before any file
    EXPECT_EQ(no_set.err + std::to_string(no_set.exit_status),
              program + "-s takes a set from 0 to 9, or all\n" + usage + "\n1");
    EXPECT_FALSE(fs::exists(path("a.gif")));
}

// What a run says besides failures. Each row: the arguments, standard output, standard
// error, and the pictures written into "out". A folder is read like an archive; "-v" names
// each written file with its size, "-l" lists and writes nothing; a doll never overwrites
// one of its own files (an image cel named like the picture).
TEST_F(Cli, VerboseListFoldersAndOwnFiles) {
    const Bytes cel = cel_file(8, 2, 1, {1, 2});
    fs::create_directories(path("dolls"));
    fs::create_directory(path("out"));
    write_file(path("dolls/p.kcf"), palette_file(24, 3, Bytes(9, 200)));
    write_file(path("dolls/a.cel"), cel);
    write_file(path("dolls/a.cnf"), text("(3,2)\n%p.kcf\n#0 a.cel\n$0 0,0\n$0 1,1\n"));
    write_file(path("dolls/b.cnf"), text("(2,300)\n%p.kcf\n#0 A.CEL\n")); // over 255 rows
    write_file(path("sailor.cnf"), text("(2,1)\n#0 sailor.gif\n"));
    write_file(path("loop.cnf"),
               text("(2,1)\n#0 sailor.gif\n;@begin() goto(1)\n;@label(1) goto(1)\n"));
    ASSERT_TRUE(run_quondel(dir, {"dolls/a.cel"}).err.empty());
    fs::copy_file(path("dolls/a.gif"), path("sailor.gif"));
    const Bytes image_cel = read_file(path("sailor.gif"));
    const auto size = [&](const char *name) {
        return std::to_string(fs::exists(path(name)) ? fs::file_size(path(name)) : 0);
    };
    const std::tuple<std::vector<std::string>, std::string, std::string, std::string> cases[] = {
        {{"-v", "-o", "out", "dolls/a.cel", "dolls/p.kcf"},
         "",
         "out/a.gif: cel dolls/a.cel, 2 x 1 pixels, 807 bytes\n",
         "a.gif"}, // the palette: none
        {{"-l", "dolls", "sailor.cnf", "dolls/a.cel"},
         "dolls/a.cnf: 3 x 2 pixels, sets 0 1\ndolls/b.cnf: 2 x 300 pixels, sets 0\n"
         "sailor.cnf: 2 x 1 pixels, sets 0\n",
         "",
         ""},
        {{"-s", "all", "--verbose", "-o", "out", "dolls/"},
         "",
         "out/dolls-a.gif: dolls/a.cnf set 0, still, "
         "3 x 2 pixels, @ bytes\nout/dolls-a-1.gif: dolls/a.cnf set 1, still, 3 x 2 pixels, @ "
         "bytes\nout/dolls-b.gif: dolls/b.cnf set 0, still, 2 x 300 pixels, @ bytes\n",
         "dolls-a-1.gif dolls-a.gif dolls-b.gif"},
        // a program that never ends is stopped, and the doll named
        {{"-o", "out", "loop.cnf"},
         "",
         "loop.cnf: warning: the doll's program ran more than 100000 actions at one moment; "
         "that moment was stopped there.\n",
         "loop.gif"},
        {{"sailor.cnf", "-o", "out", "dolls/b.cnf"},
         "",
         "sailor.cnf: sailor.gif would overwrite sailor.gif, which the doll reads (4).\n",
         "b.gif"},
    };
    for (const auto &[args, out, err, written] : cases) {
        const RunResult r = run_quondel(dir, args);
        std::string expected_err = err;
        for (const char *name : {"out/dolls-a.gif", "out/dolls-a-1.gif", "out/dolls-b.gif"})
            if (expected_err.find('@') != std::string::npos)
                expected_err.replace(expected_err.find('@'), 1, size(name));
        EXPECT_EQ(r.out, out);
        EXPECT_EQ(r.err, expected_err);
        EXPECT_EQ(r.exit_status, err.find("(4)") == std::string::npos ? 0 : 2);
        std::set<std::string> sorted;
        for (const auto &entry : fs::directory_iterator(path("out")))
            sorted.insert(entry.path().filename());
        std::string names;
        for (const std::string &name : sorted)
            names += (names.empty() ? "" : " ") + name;
        EXPECT_EQ(names, written);
        fs::remove_all(path("out"));
        fs::create_directory(path("out"));
    }
    EXPECT_EQ(read_file(path("sailor.gif")), image_cel) << "the doll's image cel is kept";
}

// On a terminal, a run that lasts more than a second shows how far it is in one line,
// rewritten in place and cleared at the end; the second input trickles in through a FIFO.
TEST_F(Cli, ProgressLineOnATerminal) {
    if (system("command -v script >/dev/null") != 0) GTEST_SKIP() << "no script(1)";
    const Bytes cel = cel_file(8, 2, 1, {1, 2});
    write_file(path("a.cel"), cel);
    write_file(path("b.cel"), cel);
    ASSERT_EQ(mkfifo(path("f.cel").c_str(), 0600), 0);
    const std::string feed = "true; (sleep 1.3; cat a.cel > f.cel) & ";
    ASSERT_EQ(system(("cd '" + dir + "' && " + feed +
                      "script -qec \"'" QUONDEL_BINARY
                      "' a.cel f.cel b.cel\" /dev/null >terminal.txt 2>&1")
                         .c_str()),
              0);
    const Bytes shown = read_file(path("terminal.txt"));
    EXPECT_EQ(std::string(shown.begin(), shown.end()),
              "\r2 of 3 pictures\r3 of 3 pictures\r" + std::string(15, ' ') + "\r");
    fs::remove(path("f.cel"));
    ASSERT_EQ(mkfifo(path("f.cel").c_str(), 0600), 0);
    EXPECT_EQ(run_quondel(dir, {"a.cel", "f.cel", "b.cel"}, feed).err, "") << "not a terminal";
}

// The names in a folder other than those given.
std::vector<std::string> others(const std::string &dir, const std::vector<std::string> &known) {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(dir))
        if (std::find(known.begin(), known.end(), entry.path().filename()) == known.end())
            names.push_back(entry.path().filename());
    return names;
}

// An output is replaced whole or not at all, wherever its name leads, and no temporary
// file stays behind; a replaced one keeps its mode and owner. Each row: where sub/x.gif
// leads, the input (a cel, or a folder that cannot be read), a limit, the old output's mode
// (0: none) and owner, the line, the mode afterwards. New files get 0640 here.
TEST_F(Cli, OutputsAreReplacedWholeOrNotAtAll) {
    const std::string full = "ulimit -f 8;", no_room = "sub/x.cel: write error (5).\n";
    const std::tuple<std::string, bool, std::string, mode_t, uid_t, std::string, mode_t> cases[] = {
        {"", true, full, 0604, 0, no_room, 0604},         // a full disk
        {"real.gif", true, full, 0604, 0, no_room, 0604}, // behind a link
        {"", false, "", 0604, 0, "sub/x.cel: no doll configuration inside (21).\n",
         0604},                                          // a folder
        {"", true, "", 0604, 0, "", 0604},               // replaced
        {"real.gif", true, "", 06754, 65534, "", 06754}, // the link stays; another's file
        {"", true, "", 0, 0, "", 0640},                  // new: as fopen would
        {"full", true, "", 0, 0, no_room, 0666},         // a device: written directly
    };
    const mode_t saved_mask = umask(027);
    for (const auto &[link, cel, limit, old, owner, err, mode] : cases) {
        TearDown();
        SetUp();
        const std::string real = path(link.empty() ? "sub/x.gif" : "sub/" + link);
        fs::create_directories(path(cel ? "sub/y" : "sub/x.cel"));
        if (!link.empty()) fs::create_symlink(link, path("sub/x.gif"));
        // Our own /dev/full, so that a fault replaces no device of the system's.
        if (link == "full") {
            ASSERT_EQ(mknod(real.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
            chmod(real.c_str(), 0666);
        }
        if (old != 0) {
            write_file(real, {'o', 'l', 'd'});
            ASSERT_EQ(chown(real.c_str(), owner, owner ? 100 : 0), 0); // a group of its own
            fs::permissions(real, fs::perms(old));
        }
        if (cel) write_file(path("sub/x.cel"), cel_file(8, 99, 99, random_bytes(9801, 5)));
        EXPECT_EQ(run_quondel(dir, {"sub/x.cel"}, limit + "trap '' XFSZ;").err, err);
        struct stat st;
        ASSERT_EQ(stat(real.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode) << err;
        EXPECT_EQ(std::make_pair(st.st_uid, st.st_gid), std::make_pair(owner, owner ? 100u : 0u))
            << err;
        EXPECT_EQ(fs::is_symlink(path("sub/x.gif")), !link.empty()) << "a link stays a link";
        EXPECT_EQ(old && read_file(real) == Bytes({'o', 'l', 'd'}), old && !err.empty()) << err;
        EXPECT_EQ(others(path("sub"), {"x.cel", "x.gif", "real.gif", "full", "y"}),
                  std::vector<std::string>());
    }
    umask(saved_mask);
}

// A signal while the second of three inputs trickles in through a FIFO: the run ends by that
// signal, the first output is made, the old second output stays and the temporary file goes.
// A signal the run was started ignoring (nohup) changes nothing. Each row: the signal, ignored.
TEST_F(Cli, SignalsLeaveTheOldOutputAndNoTemporaryFile) {
    const Bytes old = {'o', 'l', 'd'};
    const std::vector<std::string> known = {"a.cel", "a.gif", "f.cel", "f.gif", "b.cel"};
    const std::pair<int, bool> cases[] = {
        {SIGINT, false}, {SIGTERM, false}, {SIGHUP, false}, {SIGHUP, true}};
    for (const auto &[signal_number, ignored] : cases) {
        // qemu-user takes every signal itself, so an ignored one still interrupts a read.
        if (ignored && QUONDEL_EMULATED) continue;
        for (const char *name : {"a.gif", "f.gif"})
            write_file(path(name), old);
        write_file(path("a.cel"), cel_file(8, 1, 1, {1}));
        write_file(path("b.cel"), cel_file(8, 1, 1, {1}));
        fs::remove(path("b.gif"));
        fs::remove(path("f.cel"));
        ASSERT_EQ(mkfifo(path("f.cel").c_str(), 0600), 0);
        std::string a = path("a.cel"), f = path("f.cel"), b = path("b.cel");
        char *argv[] = {const_cast<char *>(QUONDEL_BINARY), &a[0], &f[0], &b[0], nullptr};
        pid_t pid;
        if (ignored) signal(signal_number, SIG_IGN);
        ASSERT_EQ(posix_spawn(&pid, QUONDEL_BINARY, nullptr, nullptr, argv, environ), 0);
        signal(signal_number, SIG_DFL);
        FILE *feed = fopen(path("f.cel").c_str(), "wb");
        const Bytes start = cel_file(8, 1000, 1000, Bytes(5000, 7));
        fwrite(start.data(), 1, start.size(), feed);
        fflush(feed);
        for (int tries = 0;
             tries < 1000 && (others(dir, known).empty() || read_file(path("a.gif")) == old);
             ++tries)
            usleep(10000); // until a.gif is made and f.gif's temporary output is there
        EXPECT_EQ(others(dir, known).size(), 1u);
        kill(pid, signal_number);
        usleep(ignored ? 100000 : 0);
        fclose(feed);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_EQ(WIFSIGNALED(status) ? WTERMSIG(status) : 0, ignored ? 0 : signal_number);
        EXPECT_NE(read_file(path("a.gif")), old);
        EXPECT_EQ(read_file(path("f.gif")) == old, !ignored) << signal_number;
        EXPECT_EQ(fs::exists(path("b.gif")), ignored) << signal_number;
        EXPECT_EQ(others(dir, known), std::vector<std::string>(ignored, "b.gif"));
    }
}

} // namespace
