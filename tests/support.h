#pragma once

#include "gif_check.h"
#include "kiss_writer.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

Bytes hex_bytes(const char *text); // "03 41 8C" -> {0x03, 0x41, 0x8C}
Bytes random_bytes(size_t count, uint32_t seed, int max_value = 255);
Bytes read_file(const std::string &path);
inline Bytes text(const std::string &characters) {
    return Bytes(characters.begin(), characters.end());
}
inline void write_file(const std::string &path, const Bytes &bytes) {
    ASSERT_TRUE(write_bytes(path, bytes)) << path;
}

// Each pixel's colour in the GIF at `path` as "rrggbb", joined by `separator`.
std::string colours_of(const std::string &path, const std::string &separator);

// Converts `input`, saved as `name` in `dir`, inside this process with the run's palette
// and switch as they stand; the GIF's bytes, or none when nothing was written.
Bytes convert_here(const std::string &dir, const Bytes &input, int *status = nullptr,
                   const char *name = "in.cel");

// Runs the built quondel in `dir` through the shell, after `prefix` (limits, a change of
// user). The arguments must not hold a single quote.
struct RunResult {
    int exit_status;
    std::string out, err;
};
RunResult run_quondel(const std::string &dir, const std::vector<std::string> &args,
                      const std::string &prefix = "", const std::string &binary = QUONDEL_BINARY);

// A fresh folder for each test, removed afterwards.
class TempDirTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    std::string path(const std::string &name) const { return dir + "/" + name; }
    std::string dir;
};
