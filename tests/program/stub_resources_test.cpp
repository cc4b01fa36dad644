// What the built SETUP.exe carries besides its texts: the icon "IDI_APPICON" with three
// 32x32 images of 2, 8 and 16 colours, one manifest (administrator rights, DPI-aware,
// Vista to 10/11), and the version resource. Read back from the file as data.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tools/driver/driver.h"

namespace {

class SetupResources : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = driver::EnvPath("SETUP_EXE");
        ASSERT_FALSE(path_.empty()) << "SETUP_EXE must name the built stub";
        module_ = LoadLibraryExA(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_TRUE(module_) << path_;
    }
    void TearDown() override
    {
        if (module_)
            FreeLibrary(module_);
    }
    // The bytes of resource name of type; empty when it is missing.
    std::vector<BYTE> Resource(const char* name, const char* type)
    {
        HRSRC found = FindResourceA(module_, name, type);
        if (!found)
            return {};
        HGLOBAL loaded = LoadResource(module_, found);
        const BYTE* bytes = static_cast<const BYTE*>(LockResource(loaded));
        DWORD size = SizeofResource(module_, found);
        return bytes ? std::vector<BYTE>(bytes, bytes + size) : std::vector<BYTE>();
    }

    std::string path_;
    HMODULE module_ = nullptr;
};

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colourCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)

WORD Word(const std::vector<BYTE>& bytes, size_t at)
{
    return static_cast<WORD>(bytes[at] | bytes[at + 1] << 8);
}

// Distinct colour-table indices that the opaque pixels of an icon image use.
size_t UsedColours(const std::vector<BYTE>& image, const BITMAPINFOHEADER& header, DWORD tableSize)
{
    const int bits = header.biBitCount;
    const size_t xorStride = (32 * bits + 31) / 32 * 4, andStride = 4;
    const size_t xorAt = header.biSize + tableSize * 4, andAt = xorAt + xorStride * 32;
    std::set<int> used;
    for (int row = 0; row < 32; ++row)
        for (int x = 0; x < 32; ++x) {
            if (image[andAt + row * andStride + x / 8] & (0x80 >> (x % 8)))
                continue;
            int bit = x * bits;
            used.insert((image[xorAt + row * xorStride + bit / 8] >> (8 - bits - bit % 8)) & ((1 << bits) - 1));
        }
    return used.size();
}

TEST_F(SetupResources, IconHasThree32x32ImagesOf2And8And16Colours)
{
    std::vector<BYTE> group = Resource("IDI_APPICON", RT_GROUP_ICON);
    ASSERT_GE(group.size(), 6u) << "no RT_GROUP_ICON named IDI_APPICON";
    EXPECT_EQ(0, Word(group, 0));
    EXPECT_EQ(1, Word(group, 2));
    ASSERT_EQ(3, Word(group, 4));
    ASSERT_EQ(6 + 3 * sizeof(GroupIconEntry), group.size());

    std::set<std::pair<int, int>> depths;  // (colours, bits per pixel)
    for (int i = 0; i < 3; ++i) {
        GroupIconEntry entry;
        memcpy(&entry, group.data() + 6 + i * sizeof entry, sizeof entry);
        SCOPED_TRACE("image " + std::to_string(i) + " of " + std::to_string(entry.colourCount) + " colours");
        EXPECT_EQ(32, entry.width);
        EXPECT_EQ(32, entry.height);
        EXPECT_EQ(1, entry.planes);
        depths.insert({entry.colourCount, entry.bitCount});

        std::vector<BYTE> image = Resource(MAKEINTRESOURCEA(entry.id), RT_ICON);
        ASSERT_EQ(entry.bytesInRes, image.size());
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
        BITMAPINFOHEADER header;
        memcpy(&header, image.data(), sizeof header);
        EXPECT_EQ(sizeof header, header.biSize);
        EXPECT_EQ(32, header.biWidth);
        EXPECT_EQ(64, header.biHeight) << "XOR and AND halves";
        EXPECT_EQ(entry.bitCount, header.biBitCount);
        EXPECT_EQ(static_cast<DWORD>(BI_RGB), header.biCompression);
        DWORD table = header.biClrUsed ? header.biClrUsed : 1u << header.biBitCount;
        EXPECT_EQ(entry.colourCount, table);
        size_t xorBytes = (32 * header.biBitCount + 31) / 32 * 4 * 32, andBytes = 4 * 32;
        ASSERT_EQ(header.biSize + table * 4 + xorBytes + andBytes, image.size());
        EXPECT_EQ(entry.colourCount, UsedColours(image, header, table)) << "every colour of the table is drawn";

        // The platform makes a working 32x32 icon of the image.
        HICON icon = CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE, 0x00030000, 32,
                                              32, LR_DEFAULTCOLOR);
        ASSERT_TRUE(icon);
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        // A two-colour icon is one monochrome bitmap, its XOR half below the AND half.
        BITMAP bitmap = {};
        HBITMAP shown = info.hbmColor ? info.hbmColor : info.hbmMask;
        ASSERT_TRUE(GetObjectA(shown, sizeof bitmap, &bitmap));
        EXPECT_EQ(32, bitmap.bmWidth);
        EXPECT_EQ(info.hbmColor ? 32 : 64, bitmap.bmHeight);
        EXPECT_EQ(entry.bitCount == 1, info.hbmColor == nullptr);
        if (info.hbmColor)
            DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
    EXPECT_EQ((std::set<std::pair<int, int>>{{2, 1}, {8, 4}, {16, 4}}), depths);
}

// The window class of the setup loads the icon by this name from the program's module.
TEST_F(SetupResources, IconLoadsByName)
{
    EXPECT_TRUE(LoadIconA(GetModuleHandleA(nullptr), "IDI_APPICON") != nullptr);
    EXPECT_TRUE(LoadIconA(module_, "IDI_APPICON") != nullptr);
}

BOOL CALLBACK CountLanguage(HMODULE, LPCSTR, LPCSTR, WORD, LONG_PTR count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

BOOL CALLBACK CountName(HMODULE, LPCSTR, LPSTR, LONG_PTR count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

TEST_F(SetupResources, OneManifestAskingForAdministratorAndDpiAwareness)
{
    int names = 0, languages = 0;
    EnumResourceNamesA(module_, RT_MANIFEST, CountName, reinterpret_cast<LONG_PTR>(&names));
    EnumResourceLanguagesA(module_, RT_MANIFEST, MAKEINTRESOURCEA(1), CountLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(1, names) << "one manifest, no default one of the toolchain beside it";
    EXPECT_EQ(1, languages);

    std::vector<BYTE> bytes = Resource(MAKEINTRESOURCEA(1), RT_MANIFEST);
    std::string manifest(bytes.begin(), bytes.end());
    ASSERT_FALSE(manifest.empty());
    const char* required[] = {
        "<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>",
        ">true</dpiAware>",
        "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Vista
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10 and 11
    };
    for (const char* text : required)
        EXPECT_NE(std::string::npos, manifest.find(text)) << text;
    EXPECT_EQ(std::string::npos, manifest.find("asInvoker"));
}

std::string VersionString(const std::vector<BYTE>& info, const char* name)
{
    std::string query = std::string("\\StringFileInfo\\000004B0\\") + name;
    char* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
        return "(missing)";
    return value;
}

TEST_F(SetupResources, VersionNamesTheProgram)
{
    EXPECT_TRUE(FindResourceA(module_, MAKEINTRESOURCEA(1), RT_VERSION) != nullptr);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path_.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path_.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_TRUE(fixed);
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    EXPECT_EQ(MAKELONG(0, 1), static_cast<LONG>(fixed->dwFileVersionMS));
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0, translation[0]);
    EXPECT_EQ(1200, translation[1]);

    EXPECT_EQ("Screen saver setup", VersionString(info, "FileDescription"));
    EXPECT_EQ("Screen saver setup", VersionString(info, "ProductName"));
    EXPECT_EQ("1.0.0.0", VersionString(info, "FileVersion"));
    EXPECT_EQ("1.0.0.0", VersionString(info, "ProductVersion"));
    EXPECT_EQ("SETUP.EXE", VersionString(info, "OriginalFilename"));
}

}  // namespace
