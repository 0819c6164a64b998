#include "support.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <random>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

Bytes hex_bytes(const char *text) {
    Bytes bytes;
    for (const char *p = text; *p;) {
        char *end;
        const long value = strtol(p, &end, 16);
        if (end == p) break;
        bytes.push_back(static_cast<unsigned char>(value));
        p = end;
    }
    return bytes;
}

Bytes random_bytes(size_t count, uint32_t seed, int max_value) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> value(0, max_value);
    Bytes bytes(count);
    for (auto &b : bytes)
        b = static_cast<unsigned char>(value(generator));
    return bytes;
}

void write_file(const std::string &path, const Bytes &bytes) {
    FILE *file = fopen(path.c_str(), "wb");
    if (file == nullptr) throw std::runtime_error("cannot create " + path);
    if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

Bytes read_file(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool file_exists(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::string make_temp_dir() {
    char name[] = "/tmp/quondel-test-XXXXXX";
    if (mkdtemp(name) == nullptr) throw std::runtime_error("mkdtemp");
    chmod(name, 0777); // reachable by an unprivileged child too
    return name;
}

void remove_tree(const std::string &path) {
    const std::string command = "chmod -R u+rwx '" + path + "' 2>/dev/null; rm -rf '" + path + "'";
    if (system(command.c_str()) != 0) fprintf(stderr, "could not remove %s\n", path.c_str());
}

static std::string read_stream(FILE *stream) {
    std::string text;
    rewind(stream);
    int c;
    while ((c = getc(stream)) != EOF)
        text.push_back(static_cast<char>(c));
    fclose(stream);
    return text;
}

// An unprivileged child cannot reach a binary inside a private home folder: it runs a
// copy in a folder anyone may enter.
static std::string reachable_binary() {
    static const std::string copy = [] {
        const std::string folder = make_temp_dir();
        const std::string path = folder + "/quondel";
        const std::string command = "cp '" + std::string(QUONDEL_BINARY) + "' '" + path + "'";
        if (system(command.c_str()) != 0) throw std::runtime_error("cannot copy quondel");
        chmod(folder.c_str(), 0755);
        return path;
    }();
    return copy;
}

static void exec_child(const std::string &dir, std::vector<char *> &argv, RunOptions options,
                       FILE *out, FILE *err) {
    if (out != nullptr) dup2(fileno(out), 1);
    if (err != nullptr) dup2(fileno(err), 2);
    if (chdir(dir.c_str()) != 0) _exit(126);
    if (options.address_limit != 0) {
        const rlimit limit = {options.address_limit, options.address_limit};
        setrlimit(RLIMIT_AS, &limit);
    }
    if (options.file_size_limit != 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {options.file_size_limit, options.file_size_limit};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (options.unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
        _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
}

static pid_t spawn(const std::string &dir, const std::vector<std::string> &args, RunOptions options,
                   FILE *out, FILE *err) {
    std::vector<std::string> words = {options.unprivileged ? reachable_binary() : QUONDEL_BINARY};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &word : words)
        argv.push_back(&word[0]);
    argv.push_back(nullptr);
    fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) exec_child(dir, argv, options, out, err);
    return child;
}

RunResult run_quondel(const std::string &dir, const std::vector<std::string> &args,
                      RunOptions options) {
    FILE *out = tmpfile(), *err = tmpfile();
    const int status = wait_quondel(spawn(dir, args, options, out, err));
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_stream(out), read_stream(err)};
}

int start_quondel(const std::string &dir, const std::vector<std::string> &args) {
    return spawn(dir, args, {}, nullptr, nullptr);
}

int wait_quondel(int pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}
