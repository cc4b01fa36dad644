// Message boxes of the setup. Only the refusal on a low-colour display is shown so far.
#include "screen/prompts.h"

#include "setup/state.h"

char* LoadText(UINT id, char* buffer)
{
    LoadStringA(g_state.instance, id, buffer, kTextBufferSize);
    return buffer;
}

void ShowErrorText(HWND owner, UINT id)
{
    char text[kTextBufferSize] = {};
    LoadStringA(GetModuleHandleA(nullptr), id, text, kTextBufferSize);
    MessageBoxA(owner, text, nullptr, MB_OK);
}
