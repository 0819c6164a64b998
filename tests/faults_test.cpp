#include "common/run_state.h"
#include "common/status.h"
#include "convert/convert_cel.h"
#include "support.h"

#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>
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
