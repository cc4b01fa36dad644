// mkicon: draws SETUP.exe's icon and writes it as an .ico file with three 32x32 images:
// 2 colours (1 bit per pixel), 8 colours (4 bits per pixel, a colour table of 8 entries)
// and 16 colours (4 bits per pixel). The emblem is a monitor whose screen shows a blue
// vertical gradient, like the setup screen itself. Everything is computed, nothing is read,
// so the same source always gives the same bytes.
//
//   mkicon OUTPUT.ico
//
// .ico layout (little-endian):
//   0   ICONDIR        reserved 0, type 1, count 3
//   6   ICONDIRENTRY*3 width, height, colour count, 0, planes 1, bits, image bytes, offset
//   54  image 1..3     BITMAPINFOHEADER (height doubled), colour table, XOR bits, AND mask
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

const int kSize = 32;

struct Rgb {
    int r, g, b;
};

// The screen's gradient, dark blue at the top to light blue at the bottom.
const Rgb kGradientTop = {0, 0, 96};
const Rgb kGradientBottom = {96, 176, 255};

// A step of the screen's gradient, i of steps.
Rgb GradientStep(int i, int steps)
{
    return {kGradientTop.r + (kGradientBottom.r - kGradientTop.r) * i / steps,
            kGradientTop.g + (kGradientBottom.g - kGradientTop.g) * i / steps,
            kGradientTop.b + (kGradientBottom.b - kGradientTop.b) * i / steps};
}

// What a pixel of the emblem is, before it meets a palette.
struct Ideal {
    bool transparent;
    bool dither;  // gradient areas are dithered, flat areas take the nearest colour
    Rgb colour;
};

bool Inside(int x, int y, int left, int top, int right, int bottom)
{
    return x >= left && x <= right && y >= top && y <= bottom;
}

bool OnBorder(int x, int y, int left, int top, int right, int bottom)
{
    return Inside(x, y, left, top, right, bottom) &&
           (x == left || x == right || y == top || y == bottom);
}

bool IsCorner(int x, int y, int left, int top, int right, int bottom)
{
    return (x == left || x == right) && (y == top || y == bottom);
}

// The emblem; y grows downwards.
Ideal Emblem(int x, int y)
{
    const Rgb outline = {0, 0, 0};
    const Rgb bezel = {192, 192, 192};
    const Rgb bezelLight = {240, 240, 240};
    const Rgb well = {96, 96, 96};
    const Ideal clear = {true, false, outline};

    // The monitor: a rounded frame, a light bezel, a sunken screen with the gradient.
    if (Inside(x, y, 1, 2, 30, 23)) {
        if (IsCorner(x, y, 1, 2, 30, 23))
            return clear;
        if (OnBorder(x, y, 1, 2, 30, 23))
            return {false, false, outline};
        if (Inside(x, y, 5, 6, 26, 19)) {
            // A short white glint across the upper left of the glass.
            if (Inside(x, y, 7, 8, 11, 11) && (x + y == 17 || x + y == 18))
                return {false, false, {255, 255, 255}};
            return {false, true, GradientStep(y - 6, 19 - 6)};
        }
        if (OnBorder(x, y, 4, 5, 27, 20))
            return {false, false, well};
        if (y == 3 || x == 2)
            return {false, false, bezelLight};
        return {false, false, bezel};
    }
    // The neck.
    if (Inside(x, y, 13, 24, 18, 25))
        return {false, false, x == 13 || x == 18 ? outline : bezel};
    // The foot.
    if (Inside(x, y, 8, 26, 23, 29)) {
        if (IsCorner(x, y, 8, 26, 23, 29))
            return clear;
        if (OnBorder(x, y, 8, 26, 23, 29))
            return {false, false, outline};
        return {false, false, y == 27 ? bezelLight : bezel};
    }
    return clear;
}

int Distance(const Rgb& a, const Rgb& b)
{
    // Weighted by how strongly the eye sees each channel.
    int dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
    return 3 * dr * dr + 6 * dg * dg + 1 * db * db;
}

int Nearest(const std::vector<Rgb>& palette, const Rgb& c)
{
    int best = 0;
    for (size_t i = 1; i < palette.size(); ++i)
        if (Distance(palette[i], c) < Distance(palette[best], c))
            best = static_cast<int>(i);
    return best;
}

// The frame's greys: kept out of the gradient, where they would look like dirt.
bool IsFrameGrey(const Rgb& c)
{
    return c.r == c.g && c.g == c.b && c.r != 0 && c.r != 255;
}

// Ordered dithering between two palette colours: the pair and the mixing ratio (in 16ths)
// that come closest to c, with a small penalty for pairs far apart; the 4x4 threshold
// matrix decides which of the two this pixel takes.
int Dithered(const std::vector<Rgb>& palette, const Rgb& c, int x, int y)
{
    static const int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    long long bestError = -1;
    int first = 0, second = 0, ratio = 0;
    for (size_t i = 0; i < palette.size(); ++i) {
        for (size_t j = i; j < palette.size(); ++j) {
            if (IsFrameGrey(palette[i]) || IsFrameGrey(palette[j]))
                continue;
            for (int r = 0; r <= 16; ++r) {
                const Rgb& a = palette[i];
                const Rgb& b = palette[j];
                Rgb mix = {a.r + (b.r - a.r) * r / 16, a.g + (b.g - a.g) * r / 16, a.b + (b.b - a.b) * r / 16};
                long long error = Distance(mix, c) * 64LL + Distance(a, b);
                if (bestError < 0 || error < bestError) {
                    bestError = error;
                    first = static_cast<int>(i);
                    second = static_cast<int>(j);
                    ratio = r;
                }
            }
        }
    }
    return bayer[y & 3][x & 3] < ratio ? second : first;
}

void Put16(std::vector<uint8_t>& out, unsigned value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// One icon image: header, colour table, XOR bits and AND mask, rows bottom-up.
std::vector<uint8_t> MakeImage(const std::vector<Rgb>& palette, int bits)
{
    const int xorStride = (kSize * bits + 31) / 32 * 4;
    const int andStride = (kSize + 31) / 32 * 4;
    const int tableSize = static_cast<int>(palette.size());
    std::vector<uint8_t> out;
    Put32(out, 40);           // biSize
    Put32(out, kSize);        // biWidth
    Put32(out, kSize * 2);    // biHeight: XOR and AND halves
    Put16(out, 1);            // biPlanes
    Put16(out, bits);         // biBitCount
    Put32(out, 0);            // biCompression BI_RGB
    Put32(out, (xorStride + andStride) * kSize);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, tableSize == (1 << bits) ? 0 : tableSize);  // biClrUsed: only a short table is named
    Put32(out, 0);
    for (const Rgb& c : palette) {
        out.push_back(static_cast<uint8_t>(c.b));
        out.push_back(static_cast<uint8_t>(c.g));
        out.push_back(static_cast<uint8_t>(c.r));
        out.push_back(0);
    }
    std::vector<uint8_t> xorBits(static_cast<size_t>(xorStride) * kSize, 0);
    std::vector<uint8_t> andBits(static_cast<size_t>(andStride) * kSize, 0);
    for (int y = 0; y < kSize; ++y) {
        int row = kSize - 1 - y;
        for (int x = 0; x < kSize; ++x) {
            Ideal pixel = Emblem(x, y);
            int index = 0;  // black behind transparent pixels, as the platform expects
            if (pixel.transparent)
                andBits[row * andStride + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            else
                index = pixel.dither ? Dithered(palette, pixel.colour, x, y) : Nearest(palette, pixel.colour);
            int bit = x * bits;
            int shift = 8 - bits - bit % 8;
            xorBits[row * xorStride + bit / 8] |= static_cast<uint8_t>(index << shift);
        }
    }
    out.insert(out.end(), xorBits.begin(), xorBits.end());
    out.insert(out.end(), andBits.begin(), andBits.end());
    return out;
}

struct Variant {
    std::vector<Rgb> palette;  // entry 0 is black
    int bits;
};

// Two colours: black and white. Eight: black, white, two greys and four steps of the
// gradient. Sixteen: black, white, three greys and eleven steps of the gradient.
std::vector<Variant> Variants()
{
    std::vector<Variant> variants;
    variants.push_back({{{0, 0, 0}, {255, 255, 255}}, 1});
    std::vector<Rgb> eight = {{0, 0, 0}, {255, 255, 255}, {96, 96, 96}, {192, 192, 192}};
    for (int i = 0; i < 4; ++i)
        eight.push_back(GradientStep(i, 3));
    variants.push_back({eight, 4});
    std::vector<Rgb> sixteen = {{0, 0, 0}, {255, 255, 255}, {96, 96, 96}, {192, 192, 192}, {240, 240, 240}};
    for (int i = 0; i < 11; ++i)
        sixteen.push_back(GradientStep(i, 10));
    variants.push_back({sixteen, 4});
    return variants;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkicon OUTPUT.ico\n");
        return 2;
    }
    std::vector<Variant> variants = Variants();
    std::vector<std::vector<uint8_t>> images;
    for (const Variant& v : variants)
        images.push_back(MakeImage(v.palette, v.bits));

    std::vector<uint8_t> file;
    Put16(file, 0);
    Put16(file, 1);
    Put16(file, static_cast<unsigned>(images.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        file.push_back(kSize);
        file.push_back(kSize);
        file.push_back(static_cast<uint8_t>(variants[i].palette.size()));  // 2, 8, 16 colours
        file.push_back(0);
        Put16(file, 1);
        Put16(file, static_cast<unsigned>(variants[i].bits));
        Put32(file, static_cast<uint32_t>(images[i].size()));
        Put32(file, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const std::vector<uint8_t>& image : images)
        file.insert(file.end(), image.begin(), image.end());

    FILE* out = std::fopen(argv[1], "wb");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    bool ok = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    ok = std::fclose(out) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "mkicon: writing %s failed\n", argv[1]);
        return 1;
    }
    return 0;
}
