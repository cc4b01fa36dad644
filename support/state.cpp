// Storage of the state record: static, zero at start, alive for the whole run.
#include "setup/state.h"

SetupState g_state;
