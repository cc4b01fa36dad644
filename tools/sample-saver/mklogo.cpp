// Writes the sample screen saver's logo: a 24-bit BMP of 160 x 80 pixels showing three aurora
// bands over a dark emblem, on pure black, the colour the setup draws transparent. The picture
// is computed with integer arithmetic only, so every build writes the same bytes.
//
// usage: mklogo OUT.bmp
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

const int kWidth = 160;
const int kHeight = 80;

struct Rgb {
    int r, g, b;
};

// sin(2 pi i / 64) * 1024 for a quarter wave; the rest by symmetry.
const int kQuarterSine[17] = {0, 100, 200, 297, 392, 483, 569, 650, 724, 792, 851, 903, 946, 980, 1004, 1019, 1024};

int Sine1024(int step)  // step in 1/64 of a turn
{
    step &= 63;
    if (step < 16)
        return kQuarterSine[step];
    if (step < 32)
        return kQuarterSine[32 - step];
    if (step < 48)
        return -kQuarterSine[step - 32];
    return -kQuarterSine[64 - step];
}

int Clamp(int v)
{
    return v < 0 ? 0 : v > 255 ? 255 : v;
}

// Inside the emblem: an oval of 150 x 70 with its centre in the middle of the picture.
bool InEmblem(int x, int y)
{
    int64_t dx = 2 * x + 1 - kWidth, dy = 2 * y + 1 - kHeight;
    return dx * dx * 70 * 70 + dy * dy * 150 * 150 <= int64_t(150) * 150 * 70 * 70;
}

Rgb Pixel(int x, int y)
{
    if (!InEmblem(x, y))
        return {0, 0, 0};
    // Night sky: deep blue at the top, nearly black at the bottom (never black itself).
    Rgb c = {8, 10 + (80 - y) / 4, 40 + (80 - y) / 2};
    static const Rgb kBandColour[3] = {{60, 230, 140}, {40, 200, 220}, {170, 90, 230}};
    for (int k = 0; k < 3; ++k) {
        int centre = 22 + 14 * k + (10 * Sine1024(x * (2 + k) / 5 + 16 * k)) / 1024;
        int distance = y - centre;
        if (distance < 0)
            distance = -distance;
        int width = 7 - k;
        if (distance >= width)
            continue;
        int weight = (width - distance) * 256 / width;  // 0..256, brightest in the middle
        c.r += kBandColour[k].r * weight / 256;
        c.g += kBandColour[k].g * weight / 256;
        c.b += kBandColour[k].b * weight / 256;
    }
    // A few fixed stars.
    if ((x * 7 + y * 13) % 97 == 0 && y > 4)
        c = {230, 230, 200};
    return {Clamp(c.r), Clamp(c.g), Clamp(c.b)};
}

void Put16(std::vector<unsigned char>& out, unsigned v)
{
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

void Put32(std::vector<unsigned char>& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: mklogo OUT.bmp\n");
        return 1;
    }
    const uint32_t stride = (kWidth * 3 + 3) / 4 * 4;
    const uint32_t bitsSize = stride * kHeight;
    std::vector<unsigned char> out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, 14 + 40 + bitsSize);
    Put32(out, 0);
    Put32(out, 14 + 40);
    Put32(out, 40);  // BITMAPINFOHEADER
    Put32(out, kWidth);
    Put32(out, kHeight);  // bottom-up
    Put16(out, 1);
    Put16(out, 24);
    Put32(out, 0);  // BI_RGB
    Put32(out, bitsSize);
    Put32(out, 2835);  // 72 dpi
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    for (int row = kHeight - 1; row >= 0; --row) {
        for (int x = 0; x < kWidth; ++x) {
            Rgb c = Pixel(x, row);
            out.push_back(static_cast<unsigned char>(c.b));
            out.push_back(static_cast<unsigned char>(c.g));
            out.push_back(static_cast<unsigned char>(c.r));
        }
        for (uint32_t pad = kWidth * 3; pad < stride; ++pad)
            out.push_back(0);
    }
    FILE* f = fopen(argv[1], "wb");
    if (!f) {
        fprintf(stderr, "mklogo: cannot write %s\n", argv[1]);
        return 2;
    }
    size_t written = fwrite(out.data(), 1, out.size(), f);
    if (fclose(f) != 0 || written != out.size()) {
        fprintf(stderr, "mklogo: cannot write %s\n", argv[1]);
        return 2;
    }
    return 0;
}
