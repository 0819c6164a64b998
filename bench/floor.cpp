// The floor for whole-process timing: reads a file to its end and writes a new file of a
// given size, both in 64 KiB blocks through stdio, and nothing else. With --rename it writes
// beside the output and renames over it at the end, as quondel replaces its outputs.
// Usage: floor INPUT OUTPUT_SIZE OUTPUT [--rename]
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char **argv) {
    if (argc != 4 && argc != 5) return 2;
    const std::string output = argv[3], written = argc == 5 ? output + ".new" : output;
    FILE *in = fopen(argv[1], "rb");
    FILE *out = fopen(written.c_str(), "wb");
    if (in == nullptr || out == nullptr) return 1;
    static unsigned char buffer[1 << 16];
    long long left = atoll(argv[2]);
    size_t got;
    do {
        got = fread(buffer, 1, sizeof buffer, in);
        const long long put = left < static_cast<long long>(sizeof buffer) ? left : sizeof buffer;
        fwrite(buffer, 1, static_cast<size_t>(put), out);
        left -= put;
    } while (got > 0 || left > 0);
    fclose(in);
    if (fclose(out) != 0) return 1;
    return written == output || rename(written.c_str(), output.c_str()) == 0 ? 0 : 1;
}
