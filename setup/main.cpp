// The executable's entry point.
#include "setup/startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand)
{
    return RunSetup(instance, previousInstance, commandLine, showCommand);
}
