// Self-extraction: the screen-saver file behind the setup's own image goes into the system
// directory, and the logo is found in the screen saver's data block.
#pragma once
#include <windows.h>

// Writes the payload behind the first SetupBoundary of buffer to the system directory under
// the package's name; sets saverPath and saverTitle. On success *payload and *payloadLength
// describe the payload inside buffer. A refused name or a failed write leaves nothing behind.
int ExtractSaver(const BYTE* buffer, DWORD length, const BYTE** payload, DWORD* payloadLength);
