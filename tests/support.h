#pragma once

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "kiss_writer.h"

Bytes hex_bytes(const char *text); // "03 41 8C" -> {0x03, 0x41, 0x8C}
Bytes random_bytes(size_t count, uint32_t seed, int max_value = 255);

void write_file(const std::string &path, const Bytes &bytes);
Bytes read_file(const std::string &path);
bool file_exists(const std::string &path);

std::string make_temp_dir();
void remove_tree(const std::string &path);

// Runs the built quondel in `dir`. A root caller can drop to an unprivileged user so
// that file permissions apply; address_limit caps the child's address space in bytes.
struct RunResult {
    int exit_status;
    std::string out;
    std::string err;
};
struct RunOptions {
    bool unprivileged = false;
    uint64_t address_limit = 0;
    uint64_t file_size_limit = 0; // with SIGXFSZ ignored, so a write past it fails
};
RunResult run_quondel(const std::string &dir, const std::vector<std::string> &args,
                      RunOptions options = {});
// Starts quondel without waiting; returns its process id. wait_quondel gives the raw
// wait status.
int start_quondel(const std::string &dir, const std::vector<std::string> &args);
int wait_quondel(int pid);

// A fresh folder for each test, removed afterwards.
class TempDirTest : public ::testing::Test {
  protected:
    void SetUp() override { dir = make_temp_dir(); }
    void TearDown() override { remove_tree(dir); }
    std::string path(const std::string &name) const { return dir + "/" + name; }
    std::string dir;
};
