// Shared pieces of the bitmap helpers' tests: the BMP suite, drawing surfaces, guarded blocks.
#include "tests/bitmap/bitmap_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

std::string SuiteDir()
{
    const char* dir = std::getenv("BMPSUITE_DIR");
    if (!dir || !*dir)
        return std::string();
    std::string path = dir[0] == '/' ? std::string("Z:") + dir : std::string(dir);  // Wine's drive of the root
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

static std::vector<BYTE> ReadWholeFile(const std::string& path)
{
    std::vector<BYTE> bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    DWORD size = GetFileSize(file, nullptr);
    bytes.resize(size);
    DWORD read = 0;
    if (size == INVALID_FILE_SIZE || !ReadFile(file, bytes.data(), size, &read, nullptr) || read != size)
        bytes.clear();
    CloseHandle(file);
    return bytes;
}

std::vector<SuiteFile> ReadSuite(const char* kind)
{
    std::vector<SuiteFile> files;
    std::string dir = SuiteDir() + "\\" + kind + "\\";
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((dir + "*.bmp").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return files;
    do {
        std::vector<BYTE> bytes = ReadWholeFile(dir + found.cFileName);
        if (bytes.size() < 14)
            continue;
        SuiteFile file;
        file.name = found.cFileName;
        file.dib.assign(bytes.begin() + 14, bytes.end());
        DWORD offset = bytes[10] | (bytes[11] << 8) | (bytes[12] << 16) | (DWORD(bytes[13]) << 24);
        file.bitsOffset = offset - 14;
        files.push_back(file);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    std::sort(files.begin(), files.end(), [](const SuiteFile& a, const SuiteFile& b) { return a.name < b.name; });
    return files;
}

DibSection MakeDibSection(int width, int height, DWORD fill)
{
    DibSection section;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    section.bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    section.dc = CreateCompatibleDC(nullptr);
    if (!section.bitmap || !section.dc)
        return section;
    section.previous = SelectObject(section.dc, section.bitmap);
    section.pixels = static_cast<DWORD*>(bits);
    section.width = width;
    section.height = height;
    std::fill(section.pixels, section.pixels + width * height, fill);
    return section;
}

void FreeDibSection(DibSection* section)
{
    if (section->dc) {
        if (section->previous)
            SelectObject(section->dc, section->previous);
        DeleteDC(section->dc);
    }
    if (section->bitmap)
        DeleteObject(section->bitmap);
    *section = DibSection();
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

HBITMAP MakeScreenBitmap(const std::vector<DWORD>& pixels, int width, int height)
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

std::vector<DWORD> ReadBitmapPixels(HBITMAP bitmap, int width, int height)
{
    std::vector<DWORD> pixels(width * height, 0xA5A5A5A5);
    BITMAPINFO info = TopDown32(width, height);
    HDC screen = GetDC(nullptr);
    int rows = GetDIBits(screen, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != height)
        pixels.clear();
    for (DWORD& p : pixels)
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
