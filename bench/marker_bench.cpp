// Times FindBoundary on 128 MiB inputs with the marker at the very end, so that it must read
// everything, beside a plain one-pass read of the same buffer in the same run (the limit that
// any search meets: every byte read once):
//   random    random bytes (most of a real setup file: code and compressed data)
//   zeros     zero bytes (padding and uninitialised sections)
//   at-dash   a random mix of '@' and '-', the marker's own frame bytes
//   at-only   nothing but '@', where every offset ends like the marker
// Goal: at least 0.9 x the plain read on each. The offset found is checked against the search
// as the layout defines it (byte by byte, every offset, run once). Built for Windows (run it
// under Wine) and natively; prints rows of the table that scripts/bench assembles. A
// benchmark, not a test: it reports and exits 0, or 1 when the two searches disagree.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "setup/package.h"

namespace {

const size_t kInputSize = size_t(128) << 20;
const int kRuns = 20;  // best of: the machine may be busy with other work
const double kGoalRatio = 0.9;

// The search as the setup file's layout defines it: every offset, every byte, left to right.
size_t ByteByByte(const unsigned char* data, size_t length, const char* marker)
{
    if (length < kBoundaryLength)
        return length;
    for (size_t at = 0; at <= length - kBoundaryLength; ++at) {
        size_t k = 0;
        while (k < kBoundaryLength && data[at + k] == static_cast<unsigned char>(marker[k]))
            ++k;
        if (k == kBoundaryLength)
            return at;
    }
    return length;
}

// A small xorshift generator: the same inputs on every platform.
struct Random {
    uint64_t state = 0x9E3779B97F4A7C15ull;
    uint64_t Next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
};

void Fill(std::vector<unsigned char>& buffer, const char* kind)
{
    Random random;
    for (size_t i = 0; i < buffer.size(); i += 8) {
        uint64_t r = random.Next();
        for (size_t k = 0; k < 8 && i + k < buffer.size(); ++k) {
            unsigned char byte = static_cast<unsigned char>(r >> (8 * k));
            if (strcmp(kind, "zeros") == 0)
                byte = 0;
            else if (strcmp(kind, "at-dash") == 0)
                byte = (byte & 1) ? '@' : '-';
            else if (strcmp(kind, "at-only") == 0)
                byte = '@';
            buffer[i + k] = byte;
        }
    }
}

// Every byte of the buffer read once, 64 bytes a round into four independent registers where
// the target has SSE2: the bandwidth that any search is bound by.
size_t PlainRead(const unsigned char* data, size_t length, const char*)
{
    uint64_t folded = 0;
    size_t at = 0;
#if defined(__SSE2__)
    __m128i a = _mm_setzero_si128(), b = a, c = a, d = a;
    for (; at + 64 <= length; at += 64) {
        const __m128i* p = reinterpret_cast<const __m128i*>(data + at);
        a = _mm_or_si128(a, _mm_loadu_si128(p));
        b = _mm_or_si128(b, _mm_loadu_si128(p + 1));
        c = _mm_or_si128(c, _mm_loadu_si128(p + 2));
        d = _mm_or_si128(d, _mm_loadu_si128(p + 3));
    }
    uint64_t lanes[2];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), _mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d)));
    folded = lanes[0] | lanes[1];
#endif
    for (; at + 8 <= length; at += 8) {
        uint64_t word;
        memcpy(&word, data + at, 8);
        folded |= word;
    }
    for (; at < length; ++at)
        folded |= data[at];
    return static_cast<size_t>(folded);
}

// Every result is stored here, so that no compiler drops a run whose result looks unused.
volatile size_t g_sink;

template <typename Search> double Seconds(Search search, const std::vector<unsigned char>& input, const char* marker,
                                          size_t* result)
{
    auto start = std::chrono::steady_clock::now();
    *result = search(input.data(), input.size(), marker);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    g_sink = *result;
    return took.count();
}

}  // namespace

int main()
{
    char marker[kBoundaryLength];
    AssembleSetupBoundary(marker);
    std::vector<unsigned char> input(kInputSize);
    const size_t expected = kInputSize - kBoundaryLength;
    int agreed = 1;
    static const char* const kKinds[] = {"random", "zeros", "at-dash", "at-only"};
    for (const char* kind : kKinds) {
        Fill(input, kind);
        memcpy(input.data() + expected, marker, kBoundaryLength);
        // Best of runs, the search and the plain read taking turns, so that both meet the same
        // load of a busy machine.
        size_t fast = 0, folded = 0;
        double fastSeconds = 1e30, plainSeconds = 1e30;
        for (int run = 0; run < kRuns; ++run) {
            fastSeconds = std::min(fastSeconds, Seconds(FindBoundary, input, marker, &fast));
            plainSeconds = std::min(plainSeconds, Seconds(PlainRead, input, marker, &folded));
        }
        double fastGBps = input.size() / fastSeconds / 1e9;
        double plainGBps = input.size() / plainSeconds / 1e9;
        double ratio = fastGBps / plainGBps;
        printf("| marker search | %s, 128 MiB | %.1f GB/s | plain read %.1f GB/s | %.2fx | >= %.2fx | %s |\n", kind,
               fastGBps, plainGBps, ratio, kGoalRatio, ratio >= kGoalRatio ? "met" : "missed");
        size_t plain = ByteByByte(input.data(), input.size(), marker);
        if (fast != expected || plain != expected) {
            printf("marker search, %s: offsets differ: FindBoundary %zu, byte by byte %zu, marker at %zu\n", kind, fast,
                   plain, expected);
            agreed = 0;
        }
    }
    return agreed ? 0 : 1;
}
