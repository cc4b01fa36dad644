// The floor of a silent installation: a Windows program that starts, asks USER32 for one
// system parameter and ends. It starts as the setup stub does, at its own entry point without
// the C runtime, so that the two differ only by the installation's own work.
#include <windows.h>

extern "C" void BareEntry()
{
    BOOL active = FALSE;
    SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
    ExitProcess(0);
}
