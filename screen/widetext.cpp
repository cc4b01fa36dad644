// Code page to UTF-16 at the point of display.
#include "screen/widetext.h"

int WidenText(UINT codePage, const char* text, WCHAR* wide, int capacity)
{
    if (capacity <= 0)
        return 0;
    wide[0] = L'\0';
    if (!text || text[0] == '\0')
        return 0;
    int length = MultiByteToWideChar(codePage, 0, text, -1, wide, capacity);
    if (length <= 0) {
        wide[0] = L'\0';
        return 0;
    }
    return length - 1;
}
