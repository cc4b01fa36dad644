// The whole setup screen at 1024 x 768 with a known title, logo and progress, compared with
// the layout model and with a reference picture (a BMP in the build tree). The first run
// writes the reference for a person to look at; later runs must reproduce it exactly outside
// the text cells, whose glyphs depend on the fonts installed.
#include "tests/screen/compose_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "screen/compose.h"

using namespace compose_test;

namespace {

const char kCaption[] = "\x83\x58\x83\x4E\x83\x8A\x81\x5B\x83\x93\x83\x5A\x81\x5B\x83\x6F\x81\x5B\x20"
                        "\x83\x5A\x83\x62\x83\x67\x83\x41\x83\x62\x83\x76"; // スクリーンセーバー セットアップ
const int kWidth = 1024;
const int kHeight = 768;

// Where the reference lives: the build tree passes its Unix path, reached through Wine's Z:.
std::string ReferencePath()
{
    const char* dir = std::getenv("COMPOSE_REFERENCE_DIR");
    if (!dir || !*dir)
        return std::string();
    std::string path = std::string("Z:") + dir + "/setup_screen_1024x768.bmp";
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// A 32-bit bottom-up BMP, the form every viewer reads.
bool WriteBmp(const std::string& path, const Canvas& canvas)
{
    BITMAPFILEHEADER file;
    BITMAPINFOHEADER info;
    std::memset(&file, 0, sizeof file);
    std::memset(&info, 0, sizeof info);
    DWORD pixelBytes = static_cast<DWORD>(canvas.width()) * canvas.height() * 4;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + pixelBytes;
    info.biSize = sizeof info;
    info.biWidth = canvas.width();
    info.biHeight = canvas.height();
    info.biPlanes = 1;
    info.biBitCount = 32;
    info.biCompression = BI_RGB;
    info.biSizeImage = pixelBytes;
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    bool ok = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&info, sizeof info, 1, out) == 1;
    for (int y = canvas.height() - 1; ok && y >= 0; --y)
        ok = std::fwrite(canvas.bits() + static_cast<size_t>(y) * canvas.width(), 4, canvas.width(), out) ==
             static_cast<size_t>(canvas.width());
    return std::fclose(out) == 0 && ok;
}

// Reads back a BMP written by WriteBmp into top-down pixels; false for anything else.
bool ReadBmp(const std::string& path, int width, int height, std::vector<uint32_t>* pixels)
{
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        return false;
    BITMAPFILEHEADER file;
    BITMAPINFOHEADER info;
    bool ok = std::fread(&file, sizeof file, 1, in) == 1 && std::fread(&info, sizeof info, 1, in) == 1 &&
              file.bfType == 0x4D42 && info.biWidth == width && info.biHeight == height && info.biBitCount == 32 &&
              file.bfOffBits == sizeof file + sizeof info;
    pixels->assign(static_cast<size_t>(width) * height, 0);
    for (int y = height - 1; ok && y >= 0; --y)
        ok = std::fread(pixels->data() + static_cast<size_t>(y) * width, 4, width, in) == static_cast<size_t>(width);
    std::fclose(in);
    return ok;
}

class GoldenTest : public ComposeTest {};

TEST_F(GoldenTest, FullScreenAt1024By768)
{
    ASSERT_EQ(kWidth, GetSystemMetrics(SM_CXSCREEN));
    ASSERT_EQ(kHeight, GetSystemMetrics(SM_CYSCREEN));
    std::string reference = ReferencePath();
    ASSERT_FALSE(reference.empty()) << "COMPOSE_REFERENCE_DIR names the folder of the reference picture";

    lstrcpyA(g_state.saverTitle, "Aurora Borealis");
    g_state.progress = 42;
    std::vector<uint32_t> logo = LogoPattern(64, 48);
    g_state.logoBitmap = MakeScreenBitmap(logo, 64, 48);
    ASSERT_TRUE(g_state.logoBitmap != nullptr);

    TestWindow window(kWidth, kHeight);
    Canvas canvas(kWidth, kHeight);
    PaintSetupScreen(window.hwnd(), canvas.dc(), kPaintFull);
    DeleteObject(g_state.logoBitmap);
    g_state.logoBitmap = nullptr;

    Frame frame(kWidth, kHeight, kSentinel);
    ModelGradient(&frame, kWidth, kHeight);
    ModelTitle(&frame, g_state.titleFont, g_state.saverTitle, kCaption);
    ModelLogo(&frame, logo, 64, 48, kHeight - 48);
    ModelBar(&frame, kWidth, kHeight, 42, g_state.percentFont);
    EXPECT_TRUE(MatchesFrame(canvas, frame));

    std::vector<uint32_t> stored;
    if (GetFileAttributesA(reference.c_str()) == INVALID_FILE_ATTRIBUTES) {
        ASSERT_TRUE(WriteBmp(reference, canvas)) << reference;
        std::printf("reference picture written: %s\n", reference.c_str());
    }
    ASSERT_TRUE(ReadBmp(reference, kWidth, kHeight, &stored)) << "unreadable reference " << reference;
    int wrong = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            size_t i = static_cast<size_t>(y) * kWidth + x;
            if (!frame.isText[i] && (stored[i] & 0xFFFFFF) != (canvas.At(x, y) & 0xFFFFFF) && wrong++ < 5)
                ADD_FAILURE() << "differs from the reference at " << x << ", " << y;
        }
    EXPECT_EQ(0, wrong) << "pixels that differ from " << reference;
}

} // namespace
