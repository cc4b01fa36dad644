// The export and import directories of the built stubs, read from the files: both SETUP.exe
// builds export exactly the twenty memory-block functions by their plain names, ordinals 1 to 20
// in the alphabetical order of the names, and name the module SETUP.exe; and they import only
// DLLs that Windows always loads from its own directory. A small PE reader of its own,
// bounds-checked throughout, so that it runs natively on any host.
#include <gtest/gtest.h>

#include <stdint.h>
#include <stdlib.h>

#include <cctype>
#include <fstream>
#include <set>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const char* const kExpectedNames[] = {
    "AllocH",       "AllocPtr",    "AllocVirPtr",   "CalcCheckSum", "EqualPtr",
    "FreeH",        "FreePtr",     "FreeVirPtr",    "GetCopyH",     "GetPtrCopy",
    "GetPtrLen",    "GetVirPtrCopy", "GetVirPtrLen", "HandleFromPtr", "HandleToPtr",
    "PtrFromHandle", "PtrToHandle", "ReAllocPtr",   "ReAllocPtr2",  "ReAllocVirPtr",
};

const uint32_t kSectionExecutable = 0x20000000;

struct Section {
    uint32_t rva, size, file_offset, characteristics;
};

struct Export {
    std::string name;
    uint32_t ordinal = 0; // biased: the number GetProcAddress takes
    uint32_t rva = 0;
    bool in_code = false;
};

struct ExportDirectory {
    std::string error; // empty when the file was read
    uint16_t machine = 0;
    std::string module;
    uint32_t base = 0;
    uint32_t function_count = 0;
    std::vector<Export> by_name; // in the order of the name table
    std::vector<std::string> imports, delay_imports; // DLL names, in table order
};

class PeReader {
public:
    explicit PeReader(const Bytes& file) : file_(file) {}

    bool U16(uint64_t offset, uint16_t* value) const
    {
        if (offset + 2 > file_.size())
            return false;
        *value = static_cast<uint16_t>(file_[offset] | file_[offset + 1] << 8);
        return true;
    }

    bool U32(uint64_t offset, uint32_t* value) const
    {
        uint16_t low, high;
        if (!U16(offset, &low) || !U16(offset + 2, &high))
            return false;
        *value = low | static_cast<uint32_t>(high) << 16;
        return true;
    }

    // The file offset of an RVA that lies in a section's raw data.
    bool Offset(uint32_t rva, uint64_t* offset, const Section** in = nullptr) const
    {
        for (const Section& s : sections_) {
            if (rva >= s.rva && rva - s.rva < s.size) {
                *offset = static_cast<uint64_t>(s.file_offset) + (rva - s.rva);
                if (in)
                    *in = &s;
                return *offset < file_.size();
            }
        }
        return false;
    }

    bool String(uint32_t rva, std::string* text) const
    {
        uint64_t at;
        if (!Offset(rva, &at))
            return false;
        text->clear();
        for (; at < file_.size(); ++at) {
            if (file_[at] == 0)
                return true;
            text->push_back(static_cast<char>(file_[at]));
        }
        return false;
    }

    ExportDirectory Read()
    {
        ExportDirectory out;
        uint32_t peOffset, signature;
        uint16_t sectionCount, optionalSize, magic;
        if (file_.size() < 64 || file_[0] != 'M' || file_[1] != 'Z')
            return Failed(&out, "no MZ header");
        if (!U32(0x3C, &peOffset) || !U32(peOffset, &signature) || signature != 0x00004550)
            return Failed(&out, "no PE signature");
        uint64_t header = static_cast<uint64_t>(peOffset) + 4;
        if (!U16(header, &out.machine) || !U16(header + 2, &sectionCount) || !U16(header + 16, &optionalSize))
            return Failed(&out, "truncated file header");
        uint64_t optional = header + 20;
        if (!U16(optional, &magic) || (magic != 0x10B && magic != 0x20B))
            return Failed(&out, "unknown optional header");
        uint64_t directories = optional + (magic == 0x20B ? 112 : 96);
        uint32_t directoryCount, exportRva, exportSize;
        if (!U32(directories - 4, &directoryCount) || directoryCount < 1 || !U32(directories, &exportRva) ||
            !U32(directories + 4, &exportSize))
            return Failed(&out, "truncated optional header");
        uint32_t importRva, delayRva;
        if (directoryCount < 14 || !U32(directories + 8, &importRva) || !U32(directories + 13 * 8, &delayRva))
            return Failed(&out, "truncated data directories");
        if (exportRva == 0 || exportSize < 40)
            return Failed(&out, "no export directory");
        uint64_t table = optional + optionalSize;
        for (uint16_t i = 0; i < sectionCount; ++i) {
            Section s;
            uint64_t at = table + 40ull * i;
            uint32_t virtualSize, rawSize;
            if (!U32(at + 8, &virtualSize) || !U32(at + 12, &s.rva) || !U32(at + 16, &rawSize) ||
                !U32(at + 20, &s.file_offset) || !U32(at + 36, &s.characteristics))
                return Failed(&out, "truncated section table");
            s.size = virtualSize < rawSize ? virtualSize : rawSize;
            sections_.push_back(s);
        }
        uint64_t dir;
        uint32_t nameRva, nameCount, functionsRva, namesRva, ordinalsRva;
        if (!Offset(exportRva, &dir) || !U32(dir + 12, &nameRva) || !U32(dir + 16, &out.base) ||
            !U32(dir + 20, &out.function_count) || !U32(dir + 24, &nameCount) || !U32(dir + 28, &functionsRva) ||
            !U32(dir + 32, &namesRva) || !U32(dir + 36, &ordinalsRva))
            return Failed(&out, "export directory outside the file");
        if (!String(nameRva, &out.module))
            return Failed(&out, "module name outside the file");
        uint64_t functions, names, ordinals;
        if (!Offset(functionsRva, &functions) || !Offset(namesRva, &names) || !Offset(ordinalsRva, &ordinals))
            return Failed(&out, "export tables outside the file");
        for (uint32_t i = 0; i < nameCount; ++i) {
            Export e;
            uint32_t entryNameRva;
            uint16_t index;
            if (!U32(names + 4ull * i, &entryNameRva) || !String(entryNameRva, &e.name) ||
                !U16(ordinals + 2ull * i, &index) || index >= out.function_count ||
                !U32(functions + 4ull * index, &e.rva))
                return Failed(&out, "export entry " + std::to_string(i) + " outside the file");
            e.ordinal = out.base + index;
            uint64_t code;
            const Section* section = nullptr;
            bool forwarded = e.rva >= exportRva && e.rva - exportRva < exportSize;
            e.in_code = !forwarded && Offset(e.rva, &code, &section) && (section->characteristics & kSectionExecutable);
            out.by_name.push_back(e);
        }
        // Import descriptors are 20 bytes with the name at 12, delay-load ones 32 bytes with the
        // name at 4; each table ends with a descriptor of zeros.
        if (!DllNames(importRva, 20, 12, &out.imports) || !DllNames(delayRva, 32, 4, &out.delay_imports))
            return Failed(&out, "import tables outside the file");
        return out;
    }

private:
    bool DllNames(uint32_t tableRva, uint32_t width, uint32_t nameAt, std::vector<std::string>* names) const
    {
        if (tableRva == 0)
            return true;
        uint64_t table;
        if (!Offset(tableRva, &table))
            return false;
        for (uint64_t at = table;; at += width) {
            uint32_t nameRva, first;
            std::string name;
            if (!U32(at, &first) || !U32(at + nameAt, &nameRva))
                return false;
            if (first == 0 && nameRva == 0)
                return true;
            if (!String(nameRva, &name))
                return false;
            names->push_back(name);
        }
    }

    static ExportDirectory Failed(ExportDirectory* out, const std::string& why)
    {
        out->error = why;
        return *out;
    }

    const Bytes& file_;
    std::vector<Section> sections_;
};

ExportDirectory ReadExports(const Bytes& file)
{
    return PeReader(file).Read();
}

bool ReadFile(const std::string& path, Bytes* bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
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
        ASSERT_TRUE(ReadFile(path, &file_))
            << path << " is missing: build the Windows trees first (scripts/build makes native, x64, x86)";
    }
    Bytes file_;
};

TEST_P(StubExports, ExactlyTheTwentyPlainNamesInOrdinalOrder)
{
    ExportDirectory exports = ReadExports(file_);
    ASSERT_EQ(exports.error, "");
    EXPECT_EQ(exports.machine, GetParam().machine);
    EXPECT_EQ(exports.module, "SETUP.exe");
    EXPECT_EQ(exports.base, 1u);
    EXPECT_EQ(exports.function_count, 20u);

    std::vector<std::string> names;
    for (const Export& e : exports.by_name)
        names.push_back(e.name);
    EXPECT_EQ(names, std::vector<std::string>(std::begin(kExpectedNames), std::end(kExpectedNames)));
    for (size_t i = 0; i < exports.by_name.size(); ++i) {
        const Export& e = exports.by_name[i];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(e.ordinal, i + 1);
        EXPECT_TRUE(e.in_code) << "must point into code, not be forwarded";
        EXPECT_EQ(e.name.find('@'), std::string::npos);
        EXPECT_NE(e.name[0], '_');
        if (i > 0) {
            EXPECT_LT(exports.by_name[i - 1].name, e.name) << "the name table must be sorted";
            EXPECT_NE(exports.by_name[i - 1].rva, e.rva);
        }
    }
}

// The loader resolves a program's imports before its first instruction, before the setup can
// restrict the DLL search: any DLL other than those Windows always takes from its own directory
// (known DLLs) would be looked for beside the program first, in the downloads folder.
TEST_P(StubExports, ImportOnlyDllsTheSystemLoadsFromItsOwnDirectory)
{
    const std::set<std::string> known = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "ADVAPI32.DLL", "MSVCRT.DLL"};
    ExportDirectory image = ReadExports(file_);
    ASSERT_EQ(image.error, "");
    EXPECT_EQ(image.delay_imports, std::vector<std::string>()) << "nothing is loaded on first use";
    std::set<std::string> imported;
    for (std::string name : image.imports) {
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
