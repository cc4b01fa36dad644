// The behaviour cases of the memory-block functions, written once against a MemblockApi table;
// each test program instantiates them for the sources it has (linked code, exports by name,
// exports by ordinal).
#pragma once
#include <gtest/gtest.h>

#include "tests/support/memblock_api.h"

class MemblockCases : public ::testing::TestWithParam<const MemblockSource*> {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(GetParam()->fill(&m, &error)) << GetParam()->name << ": " << error;
    }
    MemblockApi m;
};

#define INSTANTIATE_MEMBLOCK_CASES(prefix, ...)                                                 \
    INSTANTIATE_TEST_SUITE_P(prefix, MemblockCases, ::testing::Values(__VA_ARGS__),             \
                             [](const ::testing::TestParamInfo<const MemblockSource*>& info) {  \
                                 return std::string(info.param->name);                          \
                             })
