// What the fuzz targets share: the two lead-byte tests they scan with (code page 932, and a
// single-byte code page where no byte leads) and the check that ends a run on a broken promise.
#pragma once
#include <cstdlib>

#include "tests/common/cp932.h"

inline int IsNeverLead(unsigned char)
{
    return 0;
}

inline void Require(bool promise)
{
    if (!promise)
        abort();
}
