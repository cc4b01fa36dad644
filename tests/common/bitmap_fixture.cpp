// The BMP suite, screen bitmaps, guarded blocks.
#include "tests/common/bitmap_fixture.h"

#include <algorithm>
#include <cstring>

#include "tools/driver/driver.h"

std::string SuiteDir()
{
    return driver::EnvPath("BMPSUITE_DIR");
}

std::vector<SuiteFile> ReadSuite(const char* kind)
{
    std::vector<SuiteFile> files;
    std::string dir = SuiteDir() + "\\" + kind + "\\";
    for (const WIN32_FIND_DATAA& found : driver::FindEntries(dir + "*.bmp")) {
        std::vector<BYTE> bytes = driver::ReadBytes(dir + found.cFileName);
        if (bytes.size() < 14)
            continue;
        SuiteFile file;
        file.name = found.cFileName;
        file.dib.assign(bytes.begin() + 14, bytes.end());
        DWORD offset = bytes[10] | (bytes[11] << 8) | (bytes[12] << 16) | (DWORD(bytes[13]) << 24);
        file.bitsOffset = offset - 14;
        files.push_back(file);
    }
    std::sort(files.begin(), files.end(), [](const SuiteFile& a, const SuiteFile& b) { return a.name < b.name; });
    return files;
}

static BITMAPINFO TopDown32(int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    return info;
}

HBITMAP MakeScreenBitmap(const std::vector<uint32_t>& pixels, int width, int height)
{
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    BITMAPINFO info = TopDown32(width, height);
    if (bitmap && SetDIBits(screen, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS) != height) {
        DeleteObject(bitmap);
        bitmap = nullptr;
    }
    ReleaseDC(nullptr, screen);
    return bitmap;
}

std::vector<uint32_t> ReadBitmapPixels(HBITMAP bitmap, int width, int height)
{
    std::vector<uint32_t> pixels(width * height, 0xA5A5A5A5);
    BITMAPINFO info = TopDown32(width, height);
    HDC screen = GetDC(nullptr);
    int rows = GetDIBits(screen, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != height)
        pixels.clear();
    for (uint32_t& p : pixels)
        p &= 0x00FFFFFF;  // a screen bitmap has no alpha
    return pixels;
}

GuardedBlock::GuardedBlock(const std::vector<BYTE>& bytes)
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    size_t page = system.dwPageSize;
    size_t pages = (bytes.size() + page - 1) / page + 1;
    base_ = static_cast<BYTE*>(VirtualAlloc(nullptr, (pages + 1) * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!base_)
        return;
    DWORD old;
    BYTE* guard = base_ + pages * page;
    VirtualProtect(guard, page, PAGE_NOACCESS, &old);
    data_ = guard - bytes.size();
    if (!bytes.empty())
        memcpy(data_, bytes.data(), bytes.size());
    size_ = static_cast<DWORD>(bytes.size());
}

GuardedBlock::~GuardedBlock()
{
    if (base_)
        VirtualFree(base_, 0, MEM_RELEASE);
}
