#include "common/run_state.h"

RunState run_state{};
