// Bitmap helpers. The logo is not made yet: the setup runs without one.
#include "screen/bitmap.h"

HBITMAP MakeLogoBitmap(const BYTE*, DWORD)
{
    return nullptr;
}
