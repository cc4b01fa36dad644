// Shared set-up of the whole-program tests: a scratch directory for the packages, and the
// saver file and entries of the prefix reset before and after each test.
#pragma once
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/driver/driver.h"

namespace spine {

const DWORD kWindowTimeout = 20000;
const DWORD kExitTimeout = 20000;

// Names of the files in dir (no subdirectories), to prove that a run wrote nothing.
inline std::set<std::string> ListFiles(const std::string& dir)
{
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.insert(found.cFileName);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return names;
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
    // Writes the package as file name in the scratch directory; returns its path.
    std::string WritePackage(const std::string& fileName, const ByteVector& package)
    {
        std::string path = scratch_.File(fileName);
        EXPECT_TRUE(driver::WriteBytes(path, package)) << path;
        return path;
    }
    // Starts exe with commandLine and waits for the setup window; null when none came.
    HWND StartAndWaitForWindow(driver::Process& process, const std::string& exe, const std::string& commandLine,
                               const std::string& workDir = "")
    {
        EXPECT_TRUE(process.Start(exe, commandLine, workDir)) << exe;
        return driver::WaitForWindow(process.id(), "SetupWClass", kWindowTimeout);
    }
    // Escape and a Yes to the abort question end the program; its exit code is 0. The start
    // question comes first, with the first tick: it is answered Yes with Escape right behind,
    // which the window reads before its next tick.
    void CloseWithEscape(driver::Process& process, HWND window)
    {
        driver::Box question = driver::WaitForBox(process, kWindowTimeout);
        ASSERT_TRUE(question.window) << "no start question";
        ASSERT_TRUE(driver::AnswerBox(question, IDYES, window, VK_ESCAPE));
        driver::Box abort = driver::WaitForBox(process, kWindowTimeout);
        ASSERT_TRUE(abort.window) << "no abort question after Escape";
        EXPECT_EQ(driver::Cp932(L"インストールを中断してよろしいですか?"), abort.text);
        ASSERT_TRUE(driver::AnswerBox(abort, IDYES));
        DWORD code = 1234;
        ASSERT_TRUE(process.WaitExit(kExitTimeout, &code)) << "no exit after Escape";
        EXPECT_EQ(0u, code);
    }
    // The run ends by itself, without ever showing a window or a box, with exitCode.
    void ExpectSilentEnd(driver::Process& process, DWORD exitCode = 0)
    {
        DWORD code = 1234;
        DWORD start = GetTickCount();
        while (!process.WaitExit(50, &code)) {
            EXPECT_TRUE(driver::FindWindows(process.id(), "SetupWClass").empty()) << "a setup window appeared";
            EXPECT_TRUE(driver::FindWindows(process.id(), "#32770").empty()) << "a box appeared";
            ASSERT_LT(GetTickCount() - start, kExitTimeout) << "still running";
        }
        EXPECT_EQ(exitCode, code);
    }

    driver::ScratchDir scratch_;
    std::string systemDir_;
    std::set<std::string> saverNames_;
};

}  // namespace spine
