#include "driver/driver.h"
#include "platform/platform.h"

#ifdef _WIN32
// Windows hands over the arguments as UTF-16; the program works in UTF-8 throughout.
int wmain(int argc, wchar_t **argv) {
    return run_with_utf8_arguments(argc, argv, run_quondel);
}
#else
int main(int argc, char **argv) {
    return run_quondel(argc, argv);
}
#endif
