// Times the silent installation, SETUP.exe /S of the sample package, from CreateProcess to
// the process's end, beside the floor of any Windows program here: a bare program that
// starts, reads one system parameter through USER32 and ends. Each architecture's package is
// measured against its own bare program:
//
//   silent install    goal: at most 1.1 x the bare program of the same architecture
//
// Given an NSIS installer of the same saver (scripts/bench --peers makes one: a 32-bit
// program), its /S is measured beside the x86 package's and the two files' sizes are shown.
// The saver is installed once before the timed runs, so that every run does the same work:
// the installed saver set aside, the new one written and registered, the set-aside copy
// dropped. All programs take turns, run after run; the best of the runs counts. Prints rows
// of the table that scripts/bench assembles. A benchmark, not a test: it reports and exits 0,
// or 1 when an installation did not succeed.
//
//   silent_bench RUNS x64-bare x64-package [x86-bare x86-package [nsis-installer]]
//
// (the x86 programs left out where this machine runs no 32-bit program)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "tools/driver/driver.h"

namespace {

const DWORD kExitTimeoutMs = 120000;
const double kSilentGoal = 1.1;

struct Program {
    const char* label;
    std::string path;
    std::string arguments;
    double bestMs;
};

// One run to its end: the time from CreateProcess until the process has ended, or -1 when it
// could not start, did not end, or ended with another code than 0 (every program here
// reports success with 0).
double RunOnce(const Program& program)
{
    driver::Process process;
    std::string commandLine = "\"" + program.path + "\"" + program.arguments;
    double start = NowMs();
    DWORD exitCode = 1;
    if (!process.Start(program.path, commandLine) || !process.WaitExit(kExitTimeoutMs, &exitCode))
        return -1;
    double ms = NowMs() - start;
    return exitCode == 0 ? ms : -1;
}

ULONGLONG FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void Row(const char* measure, const char* what, double setupMs, const Program& reference, const char* goal,
         bool judged)
{
    double ratio = setupMs / reference.bestMs;
    std::printf("| %s | %s | %.1f ms | %s %.1f ms | %.2fx | %s | %s |\n", measure, what, setupMs, reference.label,
                reference.bestMs, ratio, goal, judged ? (ratio <= kSilentGoal ? "met" : "missed") : "-");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4 && argc != 6 && argc != 7) {
        std::fprintf(stderr, "usage: silent_bench RUNS x64-bare x64-package [x86-bare x86-package [nsis-installer]]\n");
        return 1;
    }
    int runs = std::max(1, std::atoi(argv[1]));
    std::vector<Program> programs = {
        {"bare x64 program", driver::WindowsPath(argv[2]), "", 1e30},
        {"x64 package /S", driver::WindowsPath(argv[3]), " /S", 1e30},
    };
    if (argc >= 6) {
        programs.push_back({"bare x86 program", driver::WindowsPath(argv[4]), "", 1e30});
        programs.push_back({"x86 package /S", driver::WindowsPath(argv[5]), " /S", 1e30});
    }
    if (argc == 7)
        programs.push_back({"NSIS installer /S", driver::WindowsPath(argv[6]), " /S", 1e30});

    // The first run installs the saver, which every timed run then replaces.
    for (const Program& program : programs)
        if (RunOnce(program) < 0) {
            std::fprintf(stderr, "silent_bench: %s did not run to success\n", program.path.c_str());
            return 1;
        }
    for (int run = 0; run < runs; ++run)
        for (Program& program : programs) {
            double ms = RunOnce(program);
            if (ms < 0) {
                std::fprintf(stderr, "silent_bench: %s failed in run %d\n", program.path.c_str(), run + 1);
                return 1;
            }
            program.bestMs = std::min(program.bestMs, ms);
        }

    Row("silent install", "x64 sample package", programs[1].bestMs, programs[0], "<= 1.10x", true);
    if (programs.size() >= 4)
        Row("silent install", "x86 sample package", programs[3].bestMs, programs[2], "<= 1.10x", true);
    if (programs.size() == 5) {
        Row("silent install, peer", "x86 sample package beside NSIS (x86, LZMA)", programs[3].bestMs, programs[4],
            "-", false);
        ULONGLONG ours = FileSize(programs[3].path), theirs = FileSize(programs[4].path);
        std::printf("| package size | x86 sample package beside NSIS (x86, LZMA) | %llu bytes | NSIS installer %llu "
                    "bytes | %.2fx | - | - |\n",
                    ours, theirs, static_cast<double>(ours) / static_cast<double>(theirs));
    }
    return 0;
}
