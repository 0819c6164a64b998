#include "support.h"

#include "common/run_state.h"
#include "convert/convert_cel.h"

#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

Bytes hex_bytes(const char *text) {
    std::istringstream in(text);
    Bytes bytes;
    for (unsigned byte; in >> std::hex >> byte;)
        bytes.push_back(static_cast<unsigned char>(byte));
    return bytes;
}

Bytes random_bytes(size_t count, uint32_t seed, int max_value) {
    Bytes bytes(count);
    for (auto &b : bytes) // a linear congruential generator: the same bytes on every run
        b = static_cast<unsigned char>((seed = seed * 1664525 + 1013904223) >> 24) %
            (max_value + 1);
    return bytes;
}

Bytes read_file(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string colours_of(const std::string &path, const std::string &separator) {
    Decoded d;
    if (!decode_gif(path, d)) return "not a GIF";
    std::string list;
    char hex[8];
    for (size_t i = 0; i < d.pixels.size(); ++i) {
        const unsigned char *rgb = &d.colours[d.pixels[i] * 3];
        snprintf(hex, sizeof hex, "%02x%02x%02x", rgb[0], rgb[1], rgb[2]);
        list += (i ? separator : "") + hex;
    }
    return list;
}

Bytes convert_here(const std::string &dir, const Bytes &input, int *status, const char *name) {
    write_file(dir + "/" + name, input);
    run_state.output_name = dir + "/in.gif";
    unlink(run_state.output_name.c_str());
    FILE *file = fopen((dir + "/" + name).c_str(), "rb");
    const int result = convert_cel(file, name);
    fclose(file);
    if (status != nullptr) *status = result;
    return read_file(run_state.output_name);
}

void TempDirTest::SetUp() {
    run_state = RunState{}; // in-process conversions start as a run does
    char name[] = "/tmp/quondel-test-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir = name;
    chmod(name, 0777); // reachable by an unprivileged child too
}

void TempDirTest::TearDown() {
    EXPECT_EQ(system(("chmod -R u+rwx '" + dir + "'; rm -rf '" + dir + "'").c_str()), 0);
}

RunResult run_quondel(const std::string &dir, const std::vector<std::string> &args,
                      const std::string &prefix, const std::string &binary) {
    std::string command = "cd '" + dir + "' && " + prefix + " '" + binary + "'";
    for (const std::string &arg : args)
        command += " '" + arg + "'";
    const int status = system((command + " >" + dir + ".out 2>" + dir + ".err").c_str());
    const Bytes out = read_file(dir + ".out"), err = read_file(dir + ".err");
    unlink((dir + ".out").c_str());
    unlink((dir + ".err").c_str());
    return {WEXITSTATUS(status), std::string(out.begin(), out.end()),
            std::string(err.begin(), err.end())};
}
