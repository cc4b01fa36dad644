// Self-extraction: the screen-saver file behind the setup's own image goes into the system
// directory, and the logo is found in the screen saver's data block. A saver that already
// stands there under the same name is set aside first, so that a setup that ends without
// the new saver can give it back byte for byte.
#pragma once
#include <windows.h>

// Finds the payload behind the first SetupBoundary of buffer and judges its name; sets
// saverPath and saverTitle. Nothing is written. 0 when the package names no usable saver.
int LocateSaver(const BYTE* buffer, DWORD length, const BYTE** payload, DWORD* payloadLength);
// Writes the located payload under saverPath, a file of that name set aside first (sets
// previousSaverPath). A failed write leaves the directory as it was.
int WriteNewSaver(const BYTE* payload, DWORD payloadLength);
// Both steps: the payload behind the first SetupBoundary of buffer goes to the system
// directory under the package's name. On success *payload and *payloadLength describe the
// payload inside buffer. A refused name or a failed write leaves the directory as it was.
int ExtractSaver(const BYTE* buffer, DWORD length, const BYTE** payload, DWORD* payloadLength);

// The setup ends without the new saver: the extracted file is deleted and a set-aside saver
// takes its name back. Where a reader that shares no delete access holds the file beyond a
// short wait, both are booked for the next restart instead, in that order.
void RemoveNewSaver();
// The same, but only when a saver was set aside: without one, the extracted file stays.
void RestorePreviousSaver();
// The new saver is registered: the set-aside copy of the one it replaced is deleted, or
// marked for deletion at the next restart when it is in use. Nothing is put back after this.
void DropPreviousSaver();
