#include "common/run_state.h"
#include "common/status.h"
#include "convert/convert_cel.h"
#include "support.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Faults = TempDirTest;

TEST_F(Faults, OutputThatIsTheInputIsRefused) {
    const Bytes cel = cel_file(8, 2, 1, {1, 2});
    write_file(path("x.gif"), cel);
    write_file(path("h.cel"), cel);
    write_file(path("s.cel"), cel);
    ASSERT_EQ(link(path("h.cel").c_str(), path("h.gif").c_str()), 0);
    ASSERT_EQ(symlink("s.cel", path("s.gif").c_str()), 0);
    const RunResult r = run_quondel(dir, {"x.gif", "h.cel", "s.cel"});
    EXPECT_EQ(r.err, "x.gif: output would overwrite the input (4).\n"
                     "h.cel: output would overwrite the input (4).\n"
                     "s.cel: output would overwrite the input (4).\n");
    EXPECT_EQ(read_file(path("x.gif")), cel);
    EXPECT_EQ(read_file(path("h.cel")), cel);
    EXPECT_EQ(read_file(path("s.cel")), cel);
}

// A full disk, early or late in the image: the line, no partial GIF, the next file done.
TEST_F(Faults, WriteErrorIsReportedAndNextFileConverted) {
    for (unsigned width : {1u, 300000u / 100}) {
        write_file(path("x.cel"), cel_file(8, width, 100, random_bytes(width * 100, width)));
        write_file(path("y.cel"), cel_file(4, 1, 1, {0x10}));
        unlink(path("x.gif").c_str());
        ASSERT_EQ(symlink("/dev/full", path("x.gif").c_str()), 0);
        const RunResult r = run_quondel(dir, {"x.cel", "y.cel"});
        EXPECT_EQ(r.err, "x.cel: write error (5).\n");
        EXPECT_TRUE(file_exists(path("y.gif")));
        char target[32] = {};
        EXPECT_GT(readlink(path("x.gif").c_str(), target, sizeof target - 1), 0);
        EXPECT_STREQ(target, "/dev/full") << "the user's link stays";
    }
}

TEST_F(Faults, OutputThatCannotBeCreated) {
    ASSERT_EQ(mkdir(path("ro").c_str(), 0777), 0);
    ASSERT_EQ(mkdir(path("d.gif").c_str(), 0777), 0);
    write_file(path("ro/x.cel"), cel_file(8, 1, 1, {1}));
    write_file(path("d.cel"), cel_file(8, 1, 1, {1}));
    write_file(path("unreadable.cel"), cel_file(8, 1, 1, {1}));
    write_file(path("ok.cel"), cel_file(8, 1, 1, {1}));
    chmod(path("ro").c_str(), 0555);
    chmod(path("unreadable.cel").c_str(), 0);
    const RunResult r =
        run_quondel(dir, {"ro/x.cel", "d.cel", "unreadable.cel", "", "ok.cel"}, {true});
    EXPECT_EQ(r.err, "ro/x.cel: not enough memory (3).\n"
                     "d.cel: not enough memory (3).\n"
                     "unreadable.cel not found.\n"
                     " not found.\n");
    EXPECT_FALSE(file_exists(path("ro/x.gif")));
    EXPECT_FALSE(file_exists(path("unreadable.gif")));
    EXPECT_TRUE(file_exists(path("ok.gif")));
}

// The interlaced buffer for 65535 x 65535 pixels cannot be had under a 1 GiB limit: the
// line, no output, an earlier file of that name untouched, and the next file converted.
TEST_F(Faults, InterlacedBufferOutOfMemory) {
#ifdef QUONDEL_SANITIZED
    GTEST_SKIP() << "the sanitizers' shadow memory does not fit under an address-space limit";
#endif
    write_file(path("big.cel"), cel_file(8, 65535, 65535, {1, 2, 3}));
    write_file(path("big.gif"), {'o', 'l', 'd'});
    write_file(path("small.cel"), cel_file(8, 1, 1, {1}));
    const RunResult r = run_quondel(dir, {"-I", "big.cel", "small.cel"}, {false, 1ull << 30});
    EXPECT_EQ(r.err, "big.cel: not enough memory (3).\n");
    EXPECT_EQ(read_file(path("big.gif")), Bytes({'o', 'l', 'd'}));
    EXPECT_TRUE(file_exists(path("small.gif")));
}

// The files in a folder, apart from those named.
std::vector<std::string> other_files(const std::string &dir, std::vector<std::string> known) {
    std::vector<std::string> others;
    if (DIR *folder = opendir(dir.c_str())) {
        while (const dirent *entry = readdir(folder)) {
            const std::string name = entry->d_name;
            if (name != "." && name != ".." &&
                std::find(known.begin(), known.end(), name) == known.end())
                others.push_back(name);
        }
        closedir(folder);
    }
    return others;
}

mode_t mode_of(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// An output is only ever replaced whole: a failure leaves the old file as it was, and no
// temporary file stays behind, wherever the name leads.
TEST_F(Faults, OutputsAreReplacedWholeOrNotAtAll) {
    const Bytes old = {'o', 'l', 'd'};
    const struct {
        bool linked;     // x.gif is a link to sub/real.gif
        bool exists;     // the output is there before the run
        uint64_t limit;  // file size limit: a full disk after this many bytes
        bool read_fails; // the input is a folder
        const char *err;
        mode_t mode; // of the output afterwards
        const char *reason;
    } cases[] = {
        {false, true, 4096, false, "x.cel: write error (5).\n", 0640, "full disk: old file kept"},
        {true, true, 4096, false, "x.cel: write error (5).\n", 0640, "same behind a link"},
        {false, true, 0, true, "x.cel: read error (6).\n", 0640, "unreadable input: old kept"},
        {false, true, 0, false, "", 0640, "success: replaced, its mode kept"},
        {true, true, 0, false, "", 0640, "success through a link: the link stays"},
        {false, false, 0, false, "", 0666 & ~027, "new: the mode fopen would give"},
    };
    const mode_t saved_mask = umask(027);
    for (const auto &c : cases) {
        remove_tree(dir);
        dir = make_temp_dir();
        ASSERT_EQ(mkdir(path("sub").c_str(), 0777), 0);
        const std::string real = c.linked ? path("sub/real.gif") : path("x.gif");
        if (c.linked) {
            ASSERT_EQ(symlink("sub/real.gif", path("x.gif").c_str()), 0);
        }
        if (c.exists) {
            write_file(real, old);
            chmod(real.c_str(), 0640);
        }
        if (c.read_fails)
            ASSERT_EQ(mkdir(path("x.cel").c_str(), 0777), 0);
        else
            write_file(path("x.cel"), cel_file(8, 100, 100, random_bytes(10000, 5)));
        RunOptions options;
        options.file_size_limit = c.limit;
        const RunResult r = run_quondel(dir, {"x.cel"}, options);
        EXPECT_EQ(r.err, c.err) << c.reason;
        const Bytes out = read_file(real);
        if (c.err[0] != '\0')
            EXPECT_EQ(out, old) << c.reason;
        else
            EXPECT_EQ(Bytes(out.begin(), out.begin() + 6), hex_bytes("47 49 46 38 39 61"));
        EXPECT_EQ(mode_of(real), c.mode) << c.reason;
        struct stat link;
        EXPECT_EQ(lstat(path("x.gif").c_str(), &link), 0);
        EXPECT_EQ(S_ISLNK(link.st_mode), c.linked) << "a link stays a link";
        EXPECT_EQ(other_files(dir, {"x.cel", "x.gif", "sub"}), std::vector<std::string>())
            << c.reason;
        EXPECT_EQ(other_files(path("sub"), {"real.gif"}), std::vector<std::string>()) << c.reason;
    }
    umask(saved_mask);
}

// A signal while the input trickles in from a pipe: the run ends by that signal, the old
// output stays and the temporary file goes.
TEST_F(Faults, SignalsLeaveTheOldOutputAndNoTemporaryFile) {
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        write_file(path("f.gif"), {'o', 'l', 'd'});
        unlink(path("f.cel").c_str());
        ASSERT_EQ(mkfifo(path("f.cel").c_str(), 0600), 0);
        const int pid = start_quondel(dir, {"f.cel"});
        FILE *feed = fopen(path("f.cel").c_str(), "wb");
        ASSERT_NE(feed, nullptr);
        const Bytes start = cel_file(8, 1000, 1000, Bytes(5000, 7));
        fwrite(start.data(), 1, start.size(), feed);
        fflush(feed);
        for (int tries = 0; tries < 1000 && other_files(dir, {"f.cel", "f.gif"}).empty(); ++tries)
            usleep(10000); // until the temporary output is there
        EXPECT_EQ(other_files(dir, {"f.cel", "f.gif"}).size(), 1u) << "the temporary output";
        kill(pid, signal_number);
        const int status = wait_quondel(pid);
        fclose(feed);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << signal_number;
        EXPECT_EQ(read_file(path("f.gif")), Bytes({'o', 'l', 'd'}));
        EXPECT_EQ(other_files(dir, {"f.cel", "f.gif"}), std::vector<std::string>());
    }
}

// A stream that delivers `good` bytes and then fails.
struct FailingSource {
    Bytes bytes;
    size_t at;
};

ssize_t read_then_fail(void *cookie, char *buffer, size_t size) {
    auto *source = static_cast<FailingSource *>(cookie);
    if (source->at == source->bytes.size()) return -1;
    const size_t count = std::min(size, source->bytes.size() - source->at);
    std::memcpy(buffer, source->bytes.data() + source->at, count);
    source->at += count;
    return static_cast<ssize_t>(count);
}

TEST_F(Faults, ReadErrorLeavesNoOutput) {
    const cookie_io_functions_t functions = {read_then_fail, nullptr, nullptr, nullptr};
    for (int interlace : {0, 1})
        for (int depth : {4, 8}) {
            FailingSource source = {cel_file(depth, 40, 40, Bytes(300, 0x11)), 0};
            FILE *input = fopencookie(&source, "rb", functions);
            run_state.interlace = interlace;
            run_state.output_name = path("r.gif");
            EXPECT_EQ(convert_cel(input, "r.cel"), STATUS_READ_ERROR) << interlace << " " << depth;
            fclose(input);
            EXPECT_FALSE(file_exists(path("r.gif")));
        }
    ASSERT_EQ(mkdir(path("folder.cel").c_str(), 0777), 0);
    write_file(path("next.cel"), cel_file(8, 1, 1, {1}));
    EXPECT_EQ(run_quondel(dir, {"folder.cel", "next.cel"}).err, "folder.cel: read error (6).\n");
    EXPECT_TRUE(file_exists(path("next.gif")));
}

} // namespace
