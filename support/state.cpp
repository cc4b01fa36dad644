// Storage of the state record: static, zero at start, alive for the whole run.
#include "support/state.h"

SetupState g_state;
