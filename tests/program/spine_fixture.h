// Shared set-up of the whole-program tests: a scratch directory for the packages, and the
// saver file and entries of the prefix reset before and after each test.
#pragma once
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/common/box_texts.h"
#include "tools/driver/driver.h"

namespace spine {

const DWORD kWindowTimeout = 20000;
const DWORD kExitTimeout = 20000;

// Names of the files in dir (no subdirectories), to prove that a run wrote nothing.
inline std::set<std::string> ListFiles(const std::string& dir)
{
    return driver::ListNames(dir, true);
}

inline std::string WindowsDirectory()
{
    char dir[MAX_PATH] = {};
    GetWindowsDirectoryA(dir, MAX_PATH);
    return dir;
}

class SpineTest : public ::testing::Test {
protected:
    SpineTest() : scratch_("spine") {}
    void SetUp() override
    {
        ASSERT_FALSE(driver::EnvPath("SETUP_EXE").empty()) << "SETUP_EXE must name the built stub";
        systemDir_ = driver::SystemDirectory();
        driver::ResetSaverEntries();
    }
    void TearDown() override
    {
        for (const std::string& name : saverNames_)
            DeleteFileA(SaverPath(name).c_str());
        driver::ResetSaverEntries();
    }
    // The saver's place in the system directory; deleted again after the test.
    std::string SaverPath(const std::string& name)
    {
        saverNames_.insert(name);
        return systemDir_ + "\\" + name;
    }
    // Writes the package as file name in the scratch directory; returns its path, "" when it
    // could not be written (nothing then starts from it).
    std::string WritePackage(const std::string& fileName, const ByteVector& package)
    {
        std::string path = scratch_.File(fileName);
        return driver::WriteBytes(path, package) ? path : std::string();
    }
    // Starts exe with commandLine and waits for the setup window; null when none came.
    HWND StartAndWaitForWindow(driver::Process& process, const std::string& exe, const std::string& commandLine,
                               const std::string& workDir = "")
    {
        if (!process.Start(exe, commandLine, workDir))
            return nullptr;
        return driver::WaitForWindow(process.id(), "SetupWClass", kWindowTimeout);
    }
    // Whether Escape and a Yes to the abort question end the program with exit code 0. The
    // start question comes first, with the first tick: it is answered Yes with Escape right
    // behind, which the window reads before its next tick.
    [[nodiscard]] ::testing::AssertionResult ClosesWithEscape(driver::Process& process, HWND window)
    {
        driver::Box question = driver::WaitForBox(process, kWindowTimeout);
        if (!question.window)
            return ::testing::AssertionFailure() << "no start question";
        if (!driver::AnswerBox(question, IDYES, window, VK_ESCAPE))
            return ::testing::AssertionFailure() << "the start question stayed";
        driver::Box abort = driver::WaitForBox(process, kWindowTimeout);
        if (!abort.window)
            return ::testing::AssertionFailure() << "no abort question after Escape";
        std::string wrongText;
        if (abort.text != BoxText932(IDS_ABORT_QUESTION))
            wrongText = "the abort question reads " + driver::Utf8FromCp932(abort.text) + "; ";
        DWORD code = 1234;
        if (!driver::AnswerBox(abort, IDYES) || !process.WaitExit(kExitTimeout, &code))
            return ::testing::AssertionFailure() << wrongText << "no exit after Escape";
        if (!wrongText.empty() || code != 0)
            return ::testing::AssertionFailure() << wrongText << "exit code " << code;
        return ::testing::AssertionSuccess();
    }
    // Whether the run ends by itself with exitCode, without a box and, unless windowAllowed,
    // without ever showing its window.
    [[nodiscard]] ::testing::AssertionResult EndsWithoutABox(driver::Process& process, bool windowAllowed = false,
                                                             DWORD exitCode = 0)
    {
        DWORD code = 1234;
        DWORD start = GetTickCount();
        while (!process.WaitExit(50, &code)) {
            if (!windowAllowed && !driver::FindWindows(process.id(), "SetupWClass").empty())
                return ::testing::AssertionFailure() << "a setup window appeared";
            if (!driver::FindWindows(process.id(), "#32770").empty())
                return ::testing::AssertionFailure() << "a box appeared";
            if (GetTickCount() - start >= kExitTimeout)
                return ::testing::AssertionFailure() << "still running";
        }
        if (code != exitCode)
            return ::testing::AssertionFailure() << "exit code " << code << ", not " << exitCode;
        return ::testing::AssertionSuccess();
    }

    driver::ScratchDir scratch_;
    std::string systemDir_;
    std::set<std::string> saverNames_;
};

}  // namespace spine
