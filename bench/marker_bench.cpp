// Times FindBoundary against the plain byte-by-byte search of the setup marker on 128 MiB
// inputs with the marker at the very end, so that both must read everything:
//   random    random bytes (most of a real setup file: code and compressed data)
//   zeros     zero bytes (padding and uninitialised sections)
//   at-dash   a random mix of '@' and '-', the marker's own frame bytes
//   at-only   nothing but '@', where every offset ends like the marker
// Goal: FindBoundary at 8 GB/s or more on each, with the same, smallest offset as the plain
// search. Built for Windows (run it under Wine) and natively. A benchmark, not a test: it
// reports and exits 0, or 1 when the two searches disagree.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "setup/package.h"

namespace {

const size_t kInputSize = size_t(128) << 20;
const int kRuns = 10;  // best of: the machine may be busy with other work
const double kGoalGBps = 8.0;

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

template <typename Search> double BestSeconds(Search search, const std::vector<unsigned char>& input,
                                              const char* marker, size_t* found)
{
    double best = 1e30;
    for (int run = 0; run < kRuns; ++run) {
        auto start = std::chrono::steady_clock::now();
        *found = search(input.data(), input.size(), marker);
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (took.count() < best)
            best = took.count();
    }
    return best;
}

}  // namespace

int main()
{
    char marker[kBoundaryLength];
    AssembleSetupBoundary(marker);
    std::vector<unsigned char> input(kInputSize);
    const size_t expected = kInputSize - kBoundaryLength;
    int agreed = 1;
    printf("%-8s %14s %14s %8s\n", "input", "FindBoundary", "byte-by-byte", "goal");
    static const char* const kKinds[] = {"random", "zeros", "at-dash", "at-only"};
    for (const char* kind : kKinds) {
        Fill(input, kind);
        memcpy(input.data() + expected, marker, kBoundaryLength);
        size_t fast = 0, plain = 0;
        double fastSeconds = BestSeconds(FindBoundary, input, marker, &fast);
        double plainSeconds = BestSeconds(ByteByByte, input, marker, &plain);
        double fastGBps = input.size() / fastSeconds / 1e9;
        double plainGBps = input.size() / plainSeconds / 1e9;
        printf("%-8s %9.2f GB/s %9.2f GB/s %8s\n", kind, fastGBps, plainGBps, fastGBps >= kGoalGBps ? "met" : "MISSED");
        if (fast != expected || plain != expected) {
            printf("  offsets differ: FindBoundary %zu, byte-by-byte %zu, marker at %zu\n", fast, plain, expected);
            agreed = 0;
        }
    }
    return agreed ? 0 : 1;
}
