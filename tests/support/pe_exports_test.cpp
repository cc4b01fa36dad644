// The export and import directories of the built stubs, read from the files: both SETUP.exe
// builds export exactly the twenty memory-block functions by their plain names, ordinals 1 to 20
// in the alphabetical order of the names, and name the module SETUP.exe; and they import only
// DLLs that Windows always loads from its own directory. The tests' PE reader checks every read
// against the file, so that it runs natively on any host.
#include <gtest/gtest.h>

#include <stdint.h>
#include <stdlib.h>

#include <cctype>
#include <set>
#include <iterator>
#include <string>
#include <vector>

#include "tests/common/pe_image.h"
#include "tools/mksetup/package_writer.h"

namespace {

using Bytes = ByteVector;

const char* const kExpectedNames[] = {
    "AllocH",       "AllocPtr",    "AllocVirPtr",   "CalcCheckSum", "EqualPtr",
    "FreeH",        "FreePtr",     "FreeVirPtr",    "GetCopyH",     "GetPtrCopy",
    "GetPtrLen",    "GetVirPtrCopy", "GetVirPtrLen", "HandleFromPtr", "HandleToPtr",
    "PtrFromHandle", "PtrToHandle", "ReAllocPtr",   "ReAllocPtr2",  "ReAllocVirPtr",
};

// The file's image; a stub must have an export directory.
pe::Image ReadExports(const Bytes& file)
{
    pe::Image image = pe::ReadImage(file.data(), file.size(), false);
    if (image.error.empty() && image.exports.empty())
        image.error = "no export directory";
    return image;
}

struct Stub {
    const char* variable; // environment variable with the file's path
    uint16_t machine;
};

void PrintTo(const Stub& stub, std::ostream* out)
{
    *out << stub.variable;
}

class StubExports : public ::testing::TestWithParam<Stub> {
protected:
    void SetUp() override
    {
        const char* path = getenv(GetParam().variable);
        ASSERT_NE(path, nullptr) << GetParam().variable << " must name a built SETUP.exe";
        ASSERT_TRUE(ReadWholeFile(path, &file_))
            << path << " is missing: build the Windows trees first (scripts/build makes native, x64, x86)";
    }
    Bytes file_;
};

TEST_P(StubExports, ExactlyTheTwentyPlainNamesInOrdinalOrder)
{
    pe::Image exports = ReadExports(file_);
    ASSERT_EQ(exports.error, "");
    EXPECT_EQ(exports.machine, GetParam().machine);
    EXPECT_EQ(exports.module, "SETUP.exe");
    EXPECT_EQ(exports.exportBase, 1u);
    EXPECT_EQ(exports.functionCount, 20u);

    std::vector<std::string> names;
    for (const pe::Export& e : exports.exports)
        names.push_back(e.name);
    EXPECT_EQ(names, std::vector<std::string>(std::begin(kExpectedNames), std::end(kExpectedNames)));
    for (size_t i = 0; i < exports.exports.size(); ++i) {
        const pe::Export& e = exports.exports[i];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(e.ordinal, i + 1);
        EXPECT_TRUE(e.inCode) << "must point into code, not be forwarded";
        EXPECT_EQ(e.name.find('@'), std::string::npos);
        EXPECT_NE(e.name[0], '_');
        if (i > 0) {
            EXPECT_LT(exports.exports[i - 1].name, e.name) << "the name table must be sorted";
            EXPECT_NE(exports.exports[i - 1].rva, e.rva);
        }
    }
}

// The loader resolves a program's imports before its first instruction, before the setup can
// restrict the DLL search: any DLL other than those Windows always takes from its own directory
// (known DLLs) would be looked for beside the program first, in the downloads folder.
TEST_P(StubExports, ImportOnlyDllsTheSystemLoadsFromItsOwnDirectory)
{
    const std::set<std::string> known = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "ADVAPI32.DLL", "MSVCRT.DLL"};
    pe::Image image = ReadExports(file_);
    ASSERT_EQ(image.error, "");
    EXPECT_EQ(image.delayImportDlls, std::vector<std::string>()) << "nothing is loaded on first use";
    std::set<std::string> imported;
    for (std::string name : image.importDlls) {
        for (char& c : name)
            c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        imported.insert(name);
    }
    EXPECT_EQ(1u, imported.count("KERNEL32.DLL")) << "the import table was not read";
    for (const std::string& name : imported)
        EXPECT_EQ(1u, known.count(name)) << name << " is no DLL that the system always loads itself";
}

// The reader refuses what is not a whole image rather than reporting an empty table.
TEST_P(StubExports, ReaderRefusesDamagedFiles)
{
    ASSERT_EQ(ReadExports(file_).error, "");
    EXPECT_NE(ReadExports(Bytes()).error, "");
    EXPECT_NE(ReadExports(Bytes(file_.begin(), file_.begin() + 64)).error, "");
    EXPECT_NE(ReadExports(Bytes(file_.begin(), file_.begin() + 1024)).error, "") << "headers without sections";
    Bytes unsigned_ = file_;
    unsigned_[0] = 'X';
    EXPECT_NE(ReadExports(unsigned_).error, "");
}

INSTANTIATE_TEST_SUITE_P(Builds, StubExports,
                         ::testing::Values(Stub{"SETUP_EXE_X64", 0x8664}, Stub{"SETUP_EXE_X86", 0x014C}),
                         [](const ::testing::TestParamInfo<Stub>& info) {
                             return std::string(info.param.machine == 0x8664 ? "x64" : "x86");
                         });

} // namespace
