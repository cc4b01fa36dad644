// The setup window's procedure, which runs the installation once start-up has extracted the
// saver. A window timer drives it: the first tick asks whether to install, every tick after
// a Yes advances the bar by 1 to 3 percent, and the tick that reaches 100 registers the
// saver, says so and closes the window. Escape offers to abort whenever no box is open.
// The timer is stopped at the start of every tick and before every box, and started again
// only when the installation goes on, so that no tick can arrive while a box is open.
#include "setup/window.h"

#include "resources/resource.h"
#include "screen/compose.h"
#include "screen/progress.h"
#include "screen/prompts.h"
#include "setup/extract.h"
#include "setup/install.h"
#include "support/state.h"

enum { kProgressTimer = 1 };

// Interval 0: the platform applies its own shortest one. No timer procedure: the ticks
// arrive as WM_TIMER.
static void StartProgressTimer(HWND window)
{
    g_state.timerId = SetTimer(window, kProgressTimer, 0, nullptr);
}

static void StopProgressTimer(HWND window)
{
    KillTimer(window, g_state.timerId);
    g_state.timerId = 0;
}

// The window closes: it takes no more keys, so that none that is already queued behind the
// last answer can ask anything after the installation has been decided.
static void CloseSetupWindow(HWND window)
{
    EnableWindow(window, FALSE);
    PostMessageA(window, WM_CLOSE, 0, 0);
}

// The user declined or aborted: the new saver goes, a saver it replaced comes back.
static void EndWithoutSaver(HWND window)
{
    g_state.decided = TRUE;
    RemoveNewSaver();
    CloseSetupWindow(window);
}

// A box has returned. Its answer acts only while the installation is open: when the session's
// end settled it while the box stood, the window just closes. 1 in that case.
static int SettledMeanwhile(HWND window)
{
    if (!g_state.decided)
        return 0;
    CloseSetupWindow(window);
    return 1;
}

// Only the bar is drawn again, straight onto the window.
static void DrawProgress(HWND window)
{
    HDC dc = GetDC(window);
    if (!dc)
        return;
    PaintSetupScreen(window, dc, kPaintProgressOnly);
    ReleaseDC(window, dc);
}

// The bar stands at 100 %: the saver becomes the current one, the copy of a saver it
// replaced is let go, and the user learns whether the registration took. The file stays
// installed either way; a saver that could not be registered can still be chosen by hand.
static void FinishInstallation(HWND window)
{
    if (CompleteInstallation() == kInstalled)
        ShowInfoTitled(window, IDS_SAVER_SET);
    else
        ShowErrorTitled(window, IDS_SAVER_NOT_SET);
    CloseSetupWindow(window);
}

static void OnTick(HWND window)
{
    StopProgressTimer(window);
    // Progress 0: the user has not confirmed yet. A Yes takes the first step in this tick.
    if (g_state.progress == 0) {
        int yes = AskYesNoTitled(window, IDS_START_QUESTION);
        if (SettledMeanwhile(window))
            return;
        if (!yes) {
            EndWithoutSaver(window);
            return;
        }
    }
    g_state.progress = AdvanceProgress(g_state.progress, &g_state.stepState);
    DrawProgress(window);
    if (g_state.progress != 100) {
        StartProgressTimer(window);
        return;
    }
    FinishInstallation(window);
}

static void OnEscape(HWND window)
{
    // A box disables the window that owns it while it is open, and a closing window is
    // disabled too. A key that reaches the window then (posted to it rather than typed)
    // must not open a second box.
    if (!IsWindowEnabled(window))
        return;
    StopProgressTimer(window);
    int yes = AskYesNoText(window, IDS_ABORT_QUESTION);
    if (SettledMeanwhile(window))
        return;
    if (yes)
        EndWithoutSaver(window);
    else
        StartProgressTimer(window);  // on where the installation stood
}

// The session ends (log-off, restart, shut-down, or the Restart Manager closing the setup):
// the process is ended soon after this returns, so the installation is settled now, as far as
// the user took it. Before the Yes the new saver goes as on a No; after it, the installation
// is finished without a box; once the registration was reached there is nothing left to do.
// A box that stands meanwhile keeps standing, should the process live on, but its answer
// does nothing more. The question before (WM_QUERYENDSESSION) is the default procedure's
// yes: the setup never holds up the end of a session.
static void OnEndSession(HWND window)
{
    if (g_state.decided)
        return;
    g_state.decided = TRUE;
    if (g_state.progress == 0)
        RemoveNewSaver();
    else if (g_state.progress != 100)
        CompleteInstallation();
    if (IsWindowEnabled(window)) {  // no box stands: the bar was climbing
        StopProgressTimer(window);
        CloseSetupWindow(window);
    }
}

static void OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (!dc)
        return;
    PaintSetupScreen(window, dc, kPaintFull);
    EndPaint(window, &paint);
}

static void OnDestroy(HWND window)
{
    DeleteSetupFonts();
    if (g_state.timerId != 0)
        StopProgressTimer(window);
    PostQuitMessage(0);
}

LRESULT CALLBACK SetupWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        CreateSetupFonts();
        StartProgressTimer(window);
        return 0;
    case WM_DESTROY:
        OnDestroy(window);
        break;
    case WM_PAINT:
        OnPaint(window);
        break;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE)
            OnEscape(window);
        break;
    case WM_TIMER:
        OnTick(window);
        break;
    case WM_ENDSESSION:
        if (wParam)  // FALSE: the end was called off, and the setup goes on as it stood
            OnEndSession(window);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
