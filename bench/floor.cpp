// The floor for whole-process timing: reads a file to its end and writes a new file of a
// given size, both in 64 KiB blocks through stdio, and nothing else.
// Usage: floor INPUT OUTPUT_SIZE OUTPUT
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
    if (argc != 4) return 2;
    FILE *in = fopen(argv[1], "rb");
    FILE *out = fopen(argv[3], "wb");
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
    return fclose(out) == 0 ? 0 : 1;
}
