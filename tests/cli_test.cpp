#include "driver/output_name.h"
#include "support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using Cli = TempDirTest;

TEST(OutputName, OnlyTheFileNamePartLosesItsExtension) {
    const char *cases[][2] = {
        {"doll.cel", "doll.gif"},
        {"doll", "doll.gif"},
        {"a.b.cel", "a.b.gif"},
        {".cel", ".gif"},
        {"my.dir/doll", "my.dir/doll.gif"},
        {"./doll", "./doll.gif"},
        {"dir/.cel", "dir/.gif"},
        {"doll.", "doll.gif"},
        {"x.gif", "x.gif"},
        {"", ".gif"},
    };
    for (auto &c : cases)
        EXPECT_EQ(derive_output_name(c[0]), c[1]) << c[0];
    const std::string long_name(300, 'n');
    EXPECT_EQ(derive_output_name((long_name + ".cel").c_str()), long_name + ".gif");
}

TEST_F(Cli, UsageWithoutArguments) {
    const RunResult r = run_quondel(dir, {});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, std::string("usage: ") + QUONDEL_BINARY + " [-I] <filenames>");
    EXPECT_EQ(r.err, "");
    for (const char *only_switch : {"-I", "-i"}) {
        const RunResult s = run_quondel(dir, {only_switch});
        EXPECT_EQ(s.exit_status, 0);
        EXPECT_EQ(s.out + s.err, "");
    }
}

// One line per failed file, in argument order, and every later argument still converted.
TEST_F(Cli, StatusLinesAndExitStatus) {
    write_file(path("short.cel"), Bytes(31, 'K'));
    write_file(path("other.cel"), Bytes(40, 0));
    write_file(path("two.cel"), cel_file(2, 1, 1, {0}));
    write_file(path("ok.cel"), cel_file(8, 1, 1, {7}));
    const RunResult r =
        run_quondel(dir, {"missing.cel", "short.cel", "other.cel", "two.cel", "ok.cel"});
    EXPECT_EQ(r.exit_status, 2) << "some failed";
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "missing.cel not found.\n"
                     "short.cel: error (1).\n"
                     "other.cel: not cel file (2).\n"
                     "two.cel: not cel file (2).\n");
    EXPECT_TRUE(file_exists(path("ok.gif")));
    for (const char *none : {"missing.gif", "short.gif", "other.gif", "two.gif"})
        EXPECT_FALSE(file_exists(path(none))) << none;
    write_file(path("p.kcf"), kiss_file(0x10, 24, 0, 0, 0, 0, {1, 2, 3}));
    const struct {
        std::vector<std::string> args;
        int exit_status;
    } exits[] = {
        {{"p.kcf", "-I", "ok.cel"}, 0}, // a palette loaded and a cel converted
        {{"ok.cel", "missing.cel"}, 2}, // the last one failed
        {{"short.cel", "ok.cel"}, 2},   // the first one failed
        {{"-Ix", "ok.cel"}, 2},         // not the switch: a file that is not there
    };
    for (const auto &e : exits)
        EXPECT_EQ(run_quondel(dir, e.args).exit_status, e.exit_status) << e.args[0];
}

// The switch and palettes affect only the arguments after them; each cel gets a colour
// table of its own depth from the one palette.
TEST_F(Cli, SwitchAndPaletteCarryOverAcrossArguments) {
    Bytes colours(768);
    for (size_t i = 0; i < colours.size(); ++i)
        colours[i] = static_cast<unsigned char>(i * 7);
    write_file(path("p.kcf"), kiss_file(0x10, 0, 0, 0, 0, 0, colours));
    write_file(path("a.cel"), cel_file(8, 2, 2, {1, 2, 3, 4}));
    write_file(path("b.cel"), cel_file(4, 2, 2, {0x12, 0x34}));
    write_file(path("c.cel"), cel_file(8, 2, 2, {1, 2, 3, 4}));
    ASSERT_EQ(run_quondel(dir, {"a.cel", "p.kcf", "b.cel", "-i", "c.cel"}).err, "");
    const Bytes a = read_file(path("a.gif")), b = read_file(path("b.gif")),
                c = read_file(path("c.gif"));
    EXPECT_FALSE(file_exists(path("p.gif")));
    EXPECT_EQ(Bytes(a.begin() + 13, a.begin() + 13 + 768), Bytes(768, 0));
    EXPECT_EQ(Bytes(b.begin() + 13, b.begin() + 13 + 48),
              Bytes(colours.begin(), colours.begin() + 48));
    EXPECT_EQ(Bytes(c.begin() + 13, c.begin() + 13 + 768), colours);
    EXPECT_EQ(a[13 + 768 + 8 + 9], 0x00) << "a.gif before the switch is sequential";
    EXPECT_EQ(b[13 + 48 + 8 + 9], 0x00);
    EXPECT_EQ(c[13 + 768 + 8 + 9], 0x40) << "c.gif after the switch is interlaced";
}

TEST_F(Cli, AFileNamedLikeTheSwitchIsOnlyReachedByPath) {
    write_file(path("-I"), cel_file(8, 1, 1, {1}));
    EXPECT_EQ(run_quondel(dir, {"-I"}).err, "");
    EXPECT_FALSE(file_exists(path("-I.gif")));
    EXPECT_EQ(run_quondel(dir, {"./-I"}).err, "");
    EXPECT_TRUE(file_exists(path("-I.gif")));
}

TEST_F(Cli, NamesWithDotsInFoldersAndLongPaths) {
    ASSERT_EQ(mkdir(path("my.dir").c_str(), 0777), 0);
    write_file(path("my.dir/doll"), cel_file(8, 1, 1, {1}));
    std::string deep = "";
    for (int i = 0; i < 6; ++i) {
        deep += std::string(49, 'd' + i) + "/";
        ASSERT_EQ(mkdir(path(deep).c_str(), 0777), 0);
    }
    const std::string long_cel = deep + "cel.with.dots.cel"; // 311 characters
    write_file(path(long_cel), cel_file(4, 1, 1, {0x10}));
    const RunResult r = run_quondel(dir, {"my.dir/doll", "./" + long_cel});
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(file_exists(path("my.dir/doll.gif")));
    EXPECT_FALSE(file_exists(path("my.gif")));
    EXPECT_TRUE(file_exists(path(deep + "cel.with.dots.gif")));
}

} // namespace
