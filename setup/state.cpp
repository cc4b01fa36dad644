// Storage of the state record: static, zero at start but for the step generator, which
// starts at 1; alive for the whole run.
#include "setup/state.h"

SetupState g_state;
