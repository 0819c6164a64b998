// The platform layer's rows, built from this one source on Linux and on Windows (where the
// cross build runs them under Wine); rows say where the two systems differ.
#include "common/file_names.h"
#include "console/explorer_pause.h"
#include "driver/output_name.h"
#include "encode/encoder.h"
#include "platform/platform.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <tuple>

namespace {

namespace fs = std::filesystem;

const bool WINDOWS = PATH_SEPARATORS[1] != '\0';

std::string contents(const std::string &name) {
    std::ifstream file(fs::u8path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void put(const std::string &name, const std::string &bytes) {
    std::ofstream(fs::u8path(name), std::ios::binary) << bytes;
}

// A fresh folder, made the current one, so that rows give names as a user types them.
class Platform : public ::testing::Test {
  protected:
    void SetUp() override {
        home = fs::current_path();
        do // a name of its own: other runs of the suite may share the folder
            dir = fs::temp_directory_path() / ("quondel-" + std::to_string(std::random_device()()));
        while (!fs::create_directory(dir));
        fs::create_directory(dir / "sub");
        fs::current_path(dir);
    }
    void TearDown() override {
        fs::current_path(home);
        fs::remove_all(dir);
    }
    fs::path home, dir;
};

TEST(Processor, DepositOnlyWhereItIsFast) {
    const std::tuple<Processor, bool, const char *> rows[] = {
        {{"GenuineIntel", 6, 0x3C, true}, true, "Haswell: pdep in 3 cycles"},
        {{"GenuineIntel", 6, 0x3C, false}, false, "a Pentium without BMI2: an illegal instruction"},
        {{"AuthenticAMD", 0x15, 0x60, true}, false, "Excavator: microcoded pdep, 10x slower"},
        {{"AuthenticAMD", 0x17, 0x71, true}, false, "Zen 2: microcoded pdep, 10x slower"},
        {{"HygonGenuine", 0x18, 0x00, true}, false, "Hygon's Zen 1: the same microcode"},
        {{"AuthenticAMD", 0x19, 0x21, true}, true, "Zen 3: pdep in hardware, portable slower"},
        {{"AuthenticAMD", 0x1A, 0x02, true}, true, "Zen 5"},
        {{"", 0, 0, false}, false, "no CPUID at all (aarch64)"},
    };
    for (const auto &[processor, fast, reason] : rows)
        EXPECT_EQ(deposit_is_fast(processor), fast) << reason;
}

// Each row: an argument, its folder and output name on Windows, then elsewhere. Only the
// file-name part loses its extension.
TEST(Paths, Separators) {
    using Row = std::tuple<const char *, const char *, const char *, const char *, const char *>;
    const Row rows[] = {
        {"sub/doll.cnf", "sub/", "sub/doll.gif", "sub/", "sub/doll.gif"},
        {"a.b.cel", "", "a.b.gif", "", "a.b.gif"},
        {"doll", "", "doll.gif", "", "doll.gif"},
        {".cel", "", ".gif", "", ".gif"},
        // Windows: the doll's files were looked for in the current folder.
        {"sub\\doll.cnf", "sub\\", "sub\\doll.gif", "", "sub\\doll.gif"},
        // Windows: "my.gif", in the folder above.
        {"my.dir\\doll", "my.dir\\", "my.dir\\doll.gif", "", "my.gif"},
        {"C:doll.cel", "C:", "C:doll.gif", "", "C:doll.gif"}, // a drive's current folder
    };
    for (const auto &[argument, folder, output, posix_folder, posix_output] : rows) {
        EXPECT_EQ(folder_of(argument), WINDOWS ? folder : posix_folder) << argument;
        EXPECT_EQ(derive_output_name(argument), WINDOWS ? output : posix_output) << argument;
    }
}

// The output would truncate the input: any name that leads to it must be refused.
// Dropped onto quondel.exe in Explorer, the run's console is its own and closes with it: the
// run waits for Enter there, and only there (in a prompt it would hang every script).
TEST(ExplorerPause, OnlyInAConsoleOfItsOwn) {
    const std::vector<std::tuple<unsigned, bool, const char *>> rows = {
        {0, false, "no console (output redirected, or not Windows)"},
        {1, true, "Explorer's console: the messages vanish unless it waits"},
        {2, false, "Command Prompt's: the shell shares it, its window stays"},
    };
    for (const auto &[processes, pauses, why] : rows)
        EXPECT_EQ(pause_at_end(processes), pauses) << why;
    // What the window says before it closes: how many pictures, and where to find them.
    const std::string folder = WINDOWS ? "C:\\Dolls" : "/home/ann/dolls";
    const std::string root = WINDOWS ? "C:\\" : "/", in = folder + (WINDOWS ? "\\" : "/");
    const std::vector<std::tuple<unsigned, std::string, std::string>> lines = {
        {1, in + "kayla.gif", "1 picture written: " + in + "kayla.gif."},
        {12, in + "kayla.gif", "12 pictures written in " + folder + ", the first kayla.gif."},
        {3, root + "a.gif", "3 pictures written in " + root + ", the first a.gif."},
        {2, "face.gif", "2 pictures written, the first face.gif."}, // no folder named
    };
    for (const auto &[pictures, first, line] : lines)
        EXPECT_EQ(closing_line(pictures, first), line);
    // Nothing written (the exe double-clicked, or every file refused): say what to do.
    EXPECT_NE(closing_line(0, "").find("Drop doll archives"), std::string::npos);
}

TEST_F(Platform, SameFileThroughAnotherName) {
    put("in.cel", "cel");
    put("copy.cel", "cel");
    fs::create_hard_link("in.cel", "linked.gif");
    FILE *input = open_file("in.cel", "rb");
    ASSERT_NE(input, nullptr);
    const std::tuple<const char *, bool, const char *> rows[] = {
        {"in.cel", true, "the input's own name"},
        {"linked.gif", true, "a hard link: the input destroyed"},
        {"sub/../in.cel", true, "another spelling of the path"},
        {"IN.CEL", WINDOWS, "Windows: its names ignore case, so the input destroyed"},
        {"copy.cel", false, "a copy of the same bytes, refused for nothing"},
        {"missing.gif", false, "nothing there yet, refused for nothing"},
    };
    for (const auto &[name, same, reason] : rows)
        EXPECT_EQ(is_same_file(input, name), same) << name << ": " << reason;
    fclose(input);
}

// An output replaces the old one only once complete; names outside ASCII go through whole.
TEST_F(Platform, ReplacementOverAnExistingOutput) {
    const std::tuple<const char *, bool, bool, const char *> rows[] = {
        {"out.gif", true, true, "new"},  // a re-run: "write error (5)" on Windows before
        {"out.gif", true, false, "old"}, // a failed run keeps the old output
        {"new.gif", false, true, "new"},
        {"人形.gif", true, true, "new"}, // "not enough memory (3)" for such a doll
    };
    for (const auto &[name, exists, complete, after] : rows) {
        fs::remove(fs::u8path(name));
        if (exists) put(name, "old");
        ReplacementFile output;
        ASSERT_TRUE(begin_replacement(name, output)) << name;
        fputs("new", output.stream);
        EXPECT_EQ(contents(name), exists ? "old" : "") << "seen before it is complete";
        fclose(output.stream);
        EXPECT_TRUE(end_replacement(output, complete)) << name;
        EXPECT_EQ(contents(name), after) << name;
        EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 2)
            << "a temporary file stays beside " << name;
        fs::remove(fs::u8path(name));
    }
}

} // namespace
