// Times the setup's start-up against the floor of a process that shows a window under Wine:
// from CreateProcess of a package until the window of class "SetupWClass" exists, beside the
// same launch of a package whose saver is its data block alone (the empty payload), the two
// taking turns in the same run; and reads both processes' peak memory. Run under Wine
// (scripts/bench runs it in a prefix of its own); prints rows of the table that scripts/bench
// assembles:
//
//   launch to window      goal at 1 MiB: at most 1.15 x the empty payload's launch; the
//                         larger payloads show their ratio without a goal
//   launch, data part     the launch less the empty payload's, beside the same file work done
//                         in this process: the package read whole into a new movable block,
//                         the payload written, the block freed (start-up's own calls)
//   peak working set      goal: at most the empty payload's peak plus the package size plus
//   peak private bytes    1 MiB (as Wine reports them: the highest resident set; private bytes
//                         sampled every millisecond)
//
// Payloads of 1, 16, 100 and 500 MiB by default (sizes in MiB on the command line replace
// them): random bytes, as compressed saver data would be, with the saver's data block at the
// end, so that the setup's search for it passes the whole payload. Disk caches: before every
// launch and in-process read the package file is read once whole, so all start from a warm
// cache; the files they write are deleted before each run. Best of several interleaved runs.
// A benchmark, not a test: it reports and exits 0, or 1 when a run did not do its work.
//
// With --logo, the peak working set of a package whose saver carries the largest logo the setup
// takes (4096 x 4096 at 24 bits, a 48 MiB package) at 96 and at 192 DPI, read once the start
// question stands (the screen painted): goal at most the 64 x 64 logo's peak at the same DPI
// plus twice the package (read whole, the logo kept) plus 16 MiB (screen-sized buffers, for a
// 1024 x 768 display: scripts/bench runs it on one).
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "tools/driver/driver.h"

namespace {

const char kSaverName[] = "Bench.scr";
const char kScratchName[] = "BenchScratch.scr";
const DWORD kMiB = 1u << 20;
const DWORD kWindowTimeoutMs = 120000;
const double kLaunchGoal = 1.15;
const unsigned kLaunchGoalMiB = 1;
const double kMemorySlackMiB = 1.0;

// A small xorshift generator: the same payload on every run.
struct Random {
    unsigned long long state = 0x9E3779B97F4A7C15ull;
    void Fill(unsigned char* bytes, size_t length)
    {
        for (size_t i = 0; i < length; ++i) {
            if (i % 8 == 0) {
                state ^= state << 13;
                state ^= state >> 7;
                state ^= state << 17;
            }
            bytes[i] = static_cast<unsigned char>(state >> (8 * (i % 8)));
        }
    }
};

bool WriteAll(HANDLE file, const unsigned char* bytes, size_t length)
{
    DWORD written = 0;
    return length == 0 || (WriteFile(file, bytes, static_cast<DWORD>(length), &written, nullptr) && written == length);
}

// The package: stub, marker and name field as the builder lays them out, then payloadBytes of
// saver: random filler and the saver's data block (no logo). Written in pieces, so that a
// 500 MiB package never stands whole in this process's memory.
bool WritePackageFile(const std::string& path, const ByteVector& stub, size_t payloadBytes)
{
    ByteVector head = BuildPackage(stub, kSaverName, ByteVector());
    ByteVector block = BuildSaverDataBlock(ByteVector(), std::string(), std::string(), ByteVector());
    if (payloadBytes < block.size())
        return false;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = WriteAll(file, head.data(), head.size());
    std::vector<unsigned char> chunk(kMiB);
    Random random;
    for (size_t left = payloadBytes - block.size(); ok && left > 0;) {
        size_t n = std::min<size_t>(left, chunk.size());
        random.Fill(chunk.data(), n);
        ok = WriteAll(file, chunk.data(), n);
        left -= n;
    }
    ok = ok && WriteAll(file, block.data(), block.size());
    CloseHandle(file);
    return ok;
}

// Reads the file once whole, so that the next reader finds it in the cache.
void WarmCache(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    std::vector<unsigned char> chunk(8 * kMiB);
    DWORD read = 0;
    while (ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr) && read > 0) {
    }
    CloseHandle(file);
}

ULONGLONG FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return ~0ull;
    return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

struct Launch {
    double ms = 0;
    double peakWorkingSetMiB = 0;
    double peakPrivateMiB = 0;  // sampled, when asked for
};

double ToMiB(SIZE_T bytes)
{
    return static_cast<double>(bytes) / kMiB;
}

// One launch of the package: the time until its setup window exists and the process's peak
// working set then; with samplePrivate, its private bytes are also read at every look (which
// costs the launch some time, so timed launches don't sample). The process is ended and the
// extracted saver deleted. False when no window came or the saver was not written whole.
bool LaunchOnce(const std::string& package, const std::string& saverPath, ULONGLONG payloadBytes, bool samplePrivate,
                Launch* out)
{
    DeleteFileA(saverPath.c_str());
    WarmCache(package);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::string commandLine = "\"" + package + "\"";
    double start = NowMs();
    if (!CreateProcessA(package.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
        return false;
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    bool found = false;
    while (!found && NowMs() - start < kWindowTimeoutMs) {
        HWND window = FindWindowA("SetupWClass", nullptr);
        DWORD pid = 0;
        if (window)
            GetWindowThreadProcessId(window, &pid);
        found = window && pid == info.dwProcessId;
        if (samplePrivate && GetProcessMemoryInfo(info.hProcess, &counters, sizeof counters))
            out->peakPrivateMiB = std::max(out->peakPrivateMiB, ToMiB(counters.PagefileUsage));
        // One millisecond between looks; a process that ended will show no window.
        if (!found && WaitForSingleObject(info.hProcess, 1) == WAIT_OBJECT_0)
            break;
    }
    out->ms = NowMs() - start;
    if (found && GetProcessMemoryInfo(info.hProcess, &counters, sizeof counters))
        out->peakWorkingSetMiB = ToMiB(counters.PeakWorkingSetSize);
    TerminateProcess(info.hProcess, 0);
    WaitForSingleObject(info.hProcess, 10000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    bool whole = FileSize(saverPath) == payloadBytes;
    DeleteFileA(saverPath.c_str());
    return found && whole;
}

// The start-up's file work with its own calls, in this process: a new zero-filled movable block
// of the package's size, one ReadFile of the whole package, one WriteFile of the payload (the
// last payloadBytes) into the system directory, the block freed. With touchOnly, the file is not
// read: the block's pages are written once each instead, which is what the first touch of new
// memory costs before any byte of the file arrives. -1 on failure.
double FileWorkOnce(const std::string& package, ULONGLONG packageBytes, ULONGLONG payloadBytes,
                    const std::string& target, bool touchOnly)
{
    DeleteFileA(target.c_str());
    WarmCache(package);
    const DWORD length = static_cast<DWORD>(packageBytes);
    double start = NowMs();
    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, length);
    unsigned char* block = handle ? static_cast<unsigned char*>(GlobalLock(handle)) : nullptr;
    bool ok = block != nullptr;
    if (ok && touchOnly) {
        for (DWORD at = 0; at < length; at += 4096)
            static_cast<volatile unsigned char*>(block)[at] = 1;
    } else if (ok) {
        HANDLE file = CreateFileA(package.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD read = 0;
        ok = file != INVALID_HANDLE_VALUE && ReadFile(file, block, length, &read, nullptr) && read == length;
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        HANDLE out = CreateFileA(target.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ok = ok && out != INVALID_HANDLE_VALUE &&
             WriteAll(out, block + (packageBytes - payloadBytes), static_cast<size_t>(payloadBytes));
        if (out != INVALID_HANDLE_VALUE)
            CloseHandle(out);
    }
    if (handle) {
        GlobalUnlock(handle);
        GlobalFree(handle);
    }
    double ms = NowMs() - start;
    DeleteFileA(target.c_str());
    return ok ? ms : -1;
}

struct Figures {
    double launchMs = 1e30, floorMs = 1e30, fileWorkMs = 1e30, touchMs = 1e30;
    double peakWorkingSetMiB = 0, floorWorkingSetMiB = 0, peakPrivateMiB = 0, floorPrivateMiB = 0;
    bool ok = true;
};

// Best of runs interleaved launches of the package and of the empty one, and in-process file
// work; then one launch of each that samples the private bytes.
Figures Measure(const std::string& package, const std::string& emptyPackage, const std::string& systemDir,
                ULONGLONG payloadBytes, ULONGLONG emptyPayloadBytes, int runs)
{
    Figures f;
    const ULONGLONG packageBytes = FileSize(package);
    const std::string saverPath = systemDir + "\\" + kSaverName;
    const std::string scratchPath = systemDir + "\\" + kScratchName;
    for (int run = 0; run < runs && f.ok; ++run) {
        Launch launch, floor;
        f.ok = LaunchOnce(package, saverPath, payloadBytes, false, &launch) &&
               LaunchOnce(emptyPackage, saverPath, emptyPayloadBytes, false, &floor);
        double fileWork = FileWorkOnce(package, packageBytes, payloadBytes, scratchPath, false);
        double touch = FileWorkOnce(package, packageBytes, payloadBytes, scratchPath, true);
        f.ok = f.ok && fileWork >= 0 && touch >= 0;
        f.launchMs = std::min(f.launchMs, launch.ms);
        f.floorMs = std::min(f.floorMs, floor.ms);
        f.fileWorkMs = std::min(f.fileWorkMs, fileWork);
        f.touchMs = std::min(f.touchMs, touch);
        f.peakWorkingSetMiB = std::max(f.peakWorkingSetMiB, launch.peakWorkingSetMiB);
        f.floorWorkingSetMiB = std::max(f.floorWorkingSetMiB, floor.peakWorkingSetMiB);
    }
    Launch sampled, sampledFloor;
    f.ok = f.ok && LaunchOnce(package, saverPath, payloadBytes, true, &sampled) &&
           LaunchOnce(emptyPackage, saverPath, emptyPayloadBytes, true, &sampledFloor);
    f.peakPrivateMiB = sampled.peakPrivateMiB;
    f.floorPrivateMiB = sampledFloor.peakPrivateMiB;
    return f;
}

void Row(const char* measure, const std::string& what, const std::string& setup, const std::string& reference,
         const std::string& ratio, const std::string& goal, const std::string& verdict)
{
    std::printf("| %s | %s | %s | %s | %s | %s | %s |\n", measure, what.c_str(), setup.c_str(), reference.c_str(),
                ratio.c_str(), goal.c_str(), verdict.c_str());
}

std::string Format(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// A peak beside its limit: the empty payload's peak, plus the package (the one block the
// setup reads it into), plus 1 MiB.
void MemoryRow(const char* measure, const std::string& what, double peakMiB, double floorMiB, double packageMiB)
{
    double limit = floorMiB + packageMiB + kMemorySlackMiB;
    Row(measure, what, Format("%.1f MiB", peakMiB),
        Format("empty payload %.1f", floorMiB) + Format(" + package %.1f", packageMiB) +
            Format(" + %.0f", kMemorySlackMiB) + Format(" = %.1f MiB", limit),
        Format("%.2fx", peakMiB / limit), "<= 1.00x", peakMiB <= limit ? "met" : "missed");
}

// The package of a saver that is its data block with a square logo of side pixels at 24 bits
// (random colours, as a photograph's would be); its size in *packageMiB.
std::string WriteLogoPackage(const driver::ScratchDir& scratch, const ByteVector& stub, int side, double* packageMiB)
{
    BITMAPINFOHEADER header = {sizeof header, side, side, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    ByteVector logo(sizeof header + static_cast<size_t>(side) * side * 3);
    memcpy(logo.data(), &header, sizeof header);
    Random random;
    random.Fill(logo.data() + sizeof header, logo.size() - sizeof header);
    ByteVector block = BuildSaverDataBlock(ByteVector(), std::string(), std::string(), logo);
    const std::string path = scratch.File("LOGO" + std::to_string(side) + ".exe");
    ByteVector package = BuildPackage(stub, kSaverName, block);
    *packageMiB = static_cast<double>(package.size()) / kMiB;
    return driver::WriteBytes(path, package) ? path : std::string();
}

// The largest peak working set of runs launches of the package at dpi, each read once the
// process shows its start question (a dialog box of its own); 0 when a run showed none.
double LogoPeakMiB(const std::string& package, const std::string& saverPath, DWORD dpi, int runs)
{
    const char kDesktop[] = "Control Panel\\Desktop";
    RegSetKeyValueA(HKEY_CURRENT_USER, kDesktop, "LogPixels", REG_DWORD, &dpi, sizeof dpi);
    double peak = 0;
    for (int run = 0; run < runs; ++run) {
        DeleteFileA(saverPath.c_str());
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        std::string commandLine = "\"" + package + "\"";
        if (!CreateProcessA(package.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &info))
            break;
        HWND box = nullptr;
        for (double start = NowMs(); !box && NowMs() - start < kWindowTimeoutMs;) {
            DWORD pid = 0;
            box = FindWindowA("#32770", nullptr);
            if (box && (!GetWindowThreadProcessId(box, &pid) || pid != info.dwProcessId))
                box = nullptr;
            if (!box && WaitForSingleObject(info.hProcess, 10) == WAIT_OBJECT_0)
                break;
        }
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof counters;
        double runPeak = box && GetProcessMemoryInfo(info.hProcess, &counters, sizeof counters)
                             ? ToMiB(counters.PeakWorkingSetSize) : 0;
        TerminateProcess(info.hProcess, 0);
        WaitForSingleObject(info.hProcess, 10000);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        if (runPeak == 0) {
            peak = 0;
            break;
        }
        peak = std::max(peak, runPeak);
    }
    RegDeleteKeyValueA(HKEY_CURRENT_USER, kDesktop, "LogPixels");
    DeleteFileA(saverPath.c_str());
    return peak;
}

// The --logo rows; 1 when a run showed no question.
int MeasureLogoPeaks(const ByteVector& stub)
{
    driver::ScratchDir scratch("launch_bench_logo");
    const std::string saverPath = driver::SystemDirectory() + "\\" + kSaverName;
    double smallMiB = 0, largeMiB = 0;
    const std::string small = WriteLogoPackage(scratch, stub, 64, &smallMiB);
    const std::string large = WriteLogoPackage(scratch, stub, 4096, &largeMiB);
    int status = 0;
    for (DWORD dpi : {96u, 192u}) {
        const double floorMiB = LogoPeakMiB(small, saverPath, dpi, 3);
        const double peakMiB = LogoPeakMiB(large, saverPath, dpi, 3);
        const std::string what = "4096 x 4096 logo, " + std::to_string(dpi) + " DPI, " +
                                 std::to_string(GetSystemMetrics(SM_CXSCREEN)) + " x " +
                                 std::to_string(GetSystemMetrics(SM_CYSCREEN));
        if (floorMiB == 0 || peakMiB == 0) {
            Row("peak working set", what, "failed", "-", "-", "-", "no start question");
            status = 1;
            continue;
        }
        const double limit = floorMiB + 2 * largeMiB + 16;
        Row("peak working set", what, Format("%.1f MiB", peakMiB),
            Format("64 x 64 logo %.1f", floorMiB) + Format(" + 2 x package %.1f", largeMiB) + Format(" + 16 = %.1f MiB", limit),
            Format("%.2fx", peakMiB / limit), "<= 1.00x", peakMiB <= limit ? "met" : "missed");
        std::fflush(stdout);
    }
    DeleteFileA(small.c_str());
    DeleteFileA(large.c_str());
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: launch_bench SETUP.exe [payload MiB ... | --logo]\n");
        return 1;
    }
    ByteVector stub = driver::ReadBytes(driver::WindowsPath(argv[1]));
    if (stub.empty()) {
        std::fprintf(stderr, "launch_bench: cannot read the stub %s\n", argv[1]);
        return 1;
    }
    if (argc > 2 && std::string(argv[2]) == "--logo")
        return MeasureLogoPeaks(stub);
    std::vector<unsigned> sizes;
    for (int i = 2; i < argc; ++i)
        sizes.push_back(static_cast<unsigned>(std::strtoul(argv[i], nullptr, 10)));
    if (sizes.empty())
        sizes = {1, 16, 100, 500};

    driver::ScratchDir scratch("launch_bench");
    const std::string systemDir = driver::SystemDirectory();
    const std::string package = scratch.File("SETUP.exe");
    // The floor of every launch: a package whose saver is its data block alone.
    const std::string emptyPackage = scratch.File("EMPTY.exe");
    const size_t emptyPayload = BuildSaverDataBlock(ByteVector(), std::string(), std::string(), ByteVector()).size();
    if (!WritePackageFile(emptyPackage, stub, emptyPayload)) {
        std::fprintf(stderr, "launch_bench: cannot write %s\n", emptyPackage.c_str());
        return 1;
    }

    int status = 0;
    for (unsigned mib : sizes) {
        const std::string what = std::to_string(mib) + " MiB";
        const ULONGLONG payloadBytes = static_cast<ULONGLONG>(mib) * kMiB;
        ULARGE_INTEGER free = {};
        // The package and two files of the payload's size stand side by side.
        if (!GetDiskFreeSpaceExA(systemDir.c_str(), &free, nullptr, nullptr) ||
            free.QuadPart < 3 * payloadBytes + 64ull * kMiB) {
            Row("launch to window", what, "not measured", "-", "-", "-",
                Format("%.0f MiB free on disk", static_cast<double>(free.QuadPart) / kMiB));
            continue;
        }
        if (!WritePackageFile(package, stub, static_cast<size_t>(payloadBytes))) {
            std::fprintf(stderr, "launch_bench: cannot write %s\n", package.c_str());
            return 1;
        }
        const double packageMiB = static_cast<double>(FileSize(package)) / kMiB;
        Figures f = Measure(package, emptyPackage, systemDir, payloadBytes, emptyPayload,
                            mib >= 500 ? 3 : mib >= 100 ? 5 : 7);
        DeleteFileA(package.c_str());
        if (!f.ok) {
            Row("launch to window", what, "failed", "-", "-", "-", "no window, or the saver not written whole");
            status = 1;
            continue;
        }
        // Only the smallest payload has a goal: beyond it the launch is the file work, whose
        // own row follows.
        const bool judged = mib == kLaunchGoalMiB;
        double ratio = f.launchMs / f.floorMs;
        Row("launch to window", what, Format("%.0f ms", f.launchMs), Format("empty payload %.0f ms", f.floorMs),
            Format("%.2fx", ratio), judged ? Format("<= %.2fx", kLaunchGoal) : "-",
            judged ? (ratio <= kLaunchGoal ? "met" : "missed") : "-");
        // A launch quicker than the empty package's (the launches' own spread) counts as 0.
        double dataPart = std::max(0.0, f.launchMs - f.floorMs);
        Row("launch, data part", what, Format("%.0f ms", dataPart),
            Format("read into a new block + write %.0f ms", f.fileWorkMs) +
                Format(" (first touch of the block %.0f ms)", f.touchMs),
            dataPart > 0 ? Format("%.2fx", dataPart / f.fileWorkMs) : std::string("within noise"), "-", "-");
        MemoryRow("peak working set", what, f.peakWorkingSetMiB, f.floorWorkingSetMiB, packageMiB);
        MemoryRow("peak private bytes", what, f.peakPrivateMiB, f.floorPrivateMiB, packageMiB);
        std::fflush(stdout);
    }
    DeleteFileA(emptyPackage.c_str());
    return status;
}
