// Times the setup screen's two paints at 1920 x 1080 and 3840 x 2160 (medians of repeated
// paints):
//   full paint      goal on the window: within one 60 Hz frame (16.7 ms)
//   progress paint  goal on the window: below 5 % of the full paint
// With --window the paints go to a shown window's context when the display is at least that
// large (scripts/bench runs this on a 3840 x 2160 display). They also go to a 32-bit DIB
// section in a memory context, shown without a verdict: there every full paint's new
// screen-sized buffer is fresh memory whose first touch dominates. Prints rows of the table
// that scripts/bench assembles. A benchmark, not a test: it reports and exits 0.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/bench_clock.h"
#include "screen/compose.h"
#include "support/state.h"
#include "tools/driver/driver.h"

namespace {

const char kWindowClass[] = "ComposeBenchWindow";
// One frame of a 60 Hz display: a full paint within it shows no torn or late frame.
const double kFrameMs = 1000.0 / 60.0;

struct Timing {
    double median;
    double best;
};

// Median and best of `runs` timed calls after a few untimed ones.
template <typename Call> Timing Measure(int runs, Call call)
{
    for (int i = 0; i < 3; ++i)
        call();
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        double start = NowMs();
        call();
        GdiFlush();
        times.push_back(NowMs() - start);
    }
    std::sort(times.begin(), times.end());
    return Timing{times[times.size() / 2], times.front()};
}

HBITMAP MakeLogo(int width, int height)
{
    HDC screen = GetDC(nullptr);
    HBITMAP logo = CreateCompatibleBitmap(screen, width, height);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(dc, logo);
    for (int y = 0; y < height; y += 4)
        for (int x = 0; x < width; x += 4) {
            RECT cell = {x, y, x + 4, y + 4};
            HBRUSH brush = CreateSolidBrush((x + y) % 12 ? RGB(40 + x, 200 - y, 120) : RGB(0, 0, 0));
            FillRect(dc, &cell, brush);
            DeleteObject(brush);
        }
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return logo;
}

// The figures for one size on one target; only judged targets get a verdict.
void BenchTarget(const char* name, HWND window, HDC target, int width, int height, int runs, bool judged)
{
    Timing full = Measure(runs, [&] { PaintSetupScreen(window, target, kPaintFull); });
    Timing bar = Measure(runs * 10, [&] { PaintSetupScreen(window, target, kPaintProgressOnly); });

    double frameShare = full.median / kFrameMs;
    double barShare = 100.0 * bar.median / full.median;
    char what[96];
    std::snprintf(what, sizeof what, "%d x %d, %s", width, height, name);
    std::printf("| full paint | %s | %.2f ms | one 60 Hz frame %.1f ms | %.2fx | %s | %s |\n", what, full.median,
                kFrameMs, frameShare, judged ? "<= 1.00x" : "-", judged ? (frameShare <= 1.0 ? "met" : "missed") : "-");
    std::printf("| progress-only paint | %s | %.3f ms | full paint %.2f ms | %.1f %% | %s | %s |\n", what,
                bar.median, full.median, barShare, judged ? "< 5 %" : "-",
                judged ? (barShare < 5.0 ? "met" : "missed") : "-");
}

void BenchSize(int width, int height, bool onWindow)
{
    HWND window = CreateWindowExA(0, kWindowClass, "", WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    RECT client = {0, 0, 0, 0};
    GetClientRect(window, &client);
    if (!window || client.right != width || client.bottom != height) {
        std::printf("| full paint | %d x %d | not measured | - | - | - | no window of that client size |\n", width,
                    height);
        if (window)
            DestroyWindow(window);
        return;
    }
    int runs = width * height > 4000000 ? 20 : 50;

    {
        driver::Canvas canvas(width, height);
        BenchTarget("a 32-bit DIB section", window, canvas.dc(), width, height, runs, false);
    }

    if (onWindow) {
        if (GetSystemMetrics(SM_CXSCREEN) >= width && GetSystemMetrics(SM_CYSCREEN) >= height) {
            ShowWindow(window, SW_SHOWNOACTIVATE);
            UpdateWindow(window);
            HDC dc = GetDC(window);
            BenchTarget("the window", window, dc, width, height, runs, true);
            ReleaseDC(window, dc);
        } else {
            std::printf("| full paint | %d x %d, the window | not measured | - | - | - | the display is %d x %d |\n",
                        width, height, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
        }
    }
    DestroyWindow(window);
}

} // namespace

int main(int argc, char** argv)
{
    bool onWindow = argc > 1 && std::strcmp(argv[1], "--window") == 0;
    WNDCLASSA cls;
    std::memset(&cls, 0, sizeof cls);
    cls.lpfnWndProc = DefWindowProcA;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    cls.lpszClassName = kWindowClass;
    RegisterClassA(&cls);

    lstrcpyA(g_state.saverTitle, "Aurora Borealis");
    g_state.progress = 42;
    g_state.logoBitmap = MakeLogo(128, 96);
    CreateSetupFonts();

    BenchSize(1920, 1080, onWindow);
    BenchSize(3840, 2160, onWindow);

    DeleteSetupFonts();
    DeleteObject(g_state.logoBitmap);
    return 0;
}
