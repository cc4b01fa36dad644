// The memory-block cases against the library's code linked straight from setup_core.
#include "tests/support/memblock_cases.h"

namespace {

bool FillLinked(MemblockApi* api, std::string*)
{
#define MEMBLOCK_LINK(name) api->name = &::name;
    MEMBLOCK_FUNCTIONS(MEMBLOCK_LINK)
#undef MEMBLOCK_LINK
    return true;
}

const MemblockSource kLinked = {"linked", FillLinked};

} // namespace

INSTANTIATE_MEMBLOCK_CASES(Memblock, &kLinked);
