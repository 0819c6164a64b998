#include "console/explorer_pause.h"
#include "driver/driver.h"
#include "platform/platform.h"

#ifdef _WIN32
// Windows hands over the arguments as UTF-16; the program works in UTF-8 throughout.
// Started from Explorer, the run's messages stay readable until Enter.
int wmain(int argc, wchar_t **argv) {
    const int status = run_with_utf8_arguments(argc, argv, run_quondel);
    pause_if_console_is_own();
    return status;
}
#else
int main(int argc, char **argv) {
    return run_quondel(argc, argv);
}
#endif
