// Registration of the screen saver against the prefix's real system.ini and registry: the
// short path in both places, the registry value's type and size, screen saving switched
// on, and the profile without Control Panel. Whatever saver entries existed before are put
// back after each test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup/register.h"
#include "tests/common/findings.h"
#include "tools/driver/driver.h"

namespace {

const char kPanel[] = "Control Panel";
const char kDesktop[] = "Control Panel\\Desktop";
const char kBackupRoot[] = "Software\\ScreenSaverSetupTests";
const char kBackup[] = "Software\\ScreenSaverSetupTests\\ControlPanel";
// Stands in for "absent" where an INI entry is read.
const char kAbsent[] = "<absent>";

std::string ReadIni()
{
    char value[MAX_PATH] = {};
    GetPrivateProfileStringA("boot", "SCRNSAVE.EXE", kAbsent, value, sizeof value, "system.ini");
    return value;
}

void WriteIni(const std::string& value)
{
    WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", value == kAbsent ? nullptr : value.c_str(), "system.ini");
}

bool KeyExists(const char* path)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// One registry value as stored: present or not, its type and its bytes.
struct RawValue {
    bool present = false;
    DWORD type = 0;
    std::vector<BYTE> data;
};

RawValue ReadRegistry()
{
    RawValue value;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktop, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return value;
    std::vector<BYTE> data(1024, 0xAA);
    DWORD size = static_cast<DWORD>(data.size());
    if (RegQueryValueExA(key, "SCRNSAVE.EXE", nullptr, &value.type, data.data(), &size) == ERROR_SUCCESS) {
        value.present = true;
        EXPECT_EQ(0xAA, data[size]) << "the stored size is all the value holds";
        value.data.assign(data.begin(), data.begin() + size);
    }
    RegCloseKey(key);
    return value;
}

void WriteRegistry(const RawValue& value)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktop, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    if (value.present)
        RegSetValueExA(key, "SCRNSAVE.EXE", 0, value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
    else
        RegDeleteValueA(key, "SCRNSAVE.EXE");
    RegCloseKey(key);
}

BOOL ScreenSaveActive()
{
    BOOL active = 2;
    SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
    return active;
}

// Puts Control Panel back from the backup key, if one was left (also by a run that
// was cut short), and removes the backup.
void RestoreControlPanel()
{
    if (!KeyExists(kBackup))
        return;
    RegDeleteTreeA(HKEY_CURRENT_USER, kPanel);
    HKEY panel, backup;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kPanel, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &panel, nullptr) ==
        ERROR_SUCCESS) {
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kBackup, 0, KEY_READ, &backup) == ERROR_SUCCESS) {
            if (RegCopyTreeA(backup, nullptr, panel) == ERROR_SUCCESS) {
                RegCloseKey(backup);
                RegCloseKey(panel);
                RegDeleteTreeA(HKEY_CURRENT_USER, kBackupRoot);
                return;
            }
            RegCloseKey(backup);
        }
        RegCloseKey(panel);
    }
    ADD_FAILURE() << "Control Panel could not be restored; the copy stays at HKCU\\" << kBackup;
}

// Removes HKCU\<path> (Control Panel or a key below it) for the time of a test, a copy of
// Control Panel kept in a backup key; the destructor puts everything back, whatever the
// test did.
class RemovedKey {
public:
    explicit RemovedKey(const char* path)
    {
        HKEY panel, backup;
        ok_ = RegOpenKeyExA(HKEY_CURRENT_USER, kPanel, 0, KEY_READ, &panel) == ERROR_SUCCESS;
        if (!ok_)
            return;
        ok_ = RegCreateKeyExA(HKEY_CURRENT_USER, kBackup, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &backup,
                              nullptr) == ERROR_SUCCESS;
        if (ok_) {
            ok_ = RegCopyTreeA(panel, nullptr, backup) == ERROR_SUCCESS;
            RegCloseKey(backup);
        }
        RegCloseKey(panel);
        ok_ = ok_ && RegDeleteTreeA(HKEY_CURRENT_USER, path) == ERROR_SUCCESS && !KeyExists(path);
    }
    ~RemovedKey() { RestoreControlPanel(); }
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

class Registration : public ::testing::Test {
protected:
    Registration() : scratch_("register") {}
    void SetUp() override
    {
        RestoreControlPanel();
        ASSERT_TRUE(KeyExists(kDesktop)) << "the prefix has no HKCU\\Control Panel\\Desktop";
        savedIni_ = ReadIni();
        savedRegistry_ = ReadRegistry();
        savedActive_ = ScreenSaveActive();
        // Screen saving off, so that switching it on shows.
        SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_UPDATEINIFILE);
        ASSERT_FALSE(ScreenSaveActive());
    }
    void TearDown() override
    {
        RestoreControlPanel();
        WriteIni(savedIni_);
        WriteRegistry(savedRegistry_);
        SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, savedActive_, nullptr, SPIF_UPDATEINIFILE);
    }
    // A real file at dir\name under the scratch directory; its full path.
    std::string MakeFile(const std::string& dir, const std::string& name)
    {
        std::string folder = scratch_.File(dir);
        CreateDirectoryA(folder.c_str(), nullptr);
        std::string path = folder + "\\" + name;
        EXPECT_TRUE(driver::WriteBytes(path, ByteVector(64, 0x4D))) << path;
        return path;
    }
    static std::string ShortPath(const std::string& path)
    {
        char buffer[MAX_PATH] = {};
        DWORD n = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
        EXPECT_TRUE(n > 0 && n < MAX_PATH) << path;
        return buffer;
    }
    // The registry holds exactly text as REG_SZ, its NUL counted in the stored size.
    // Whether the registry value is the string text with its NUL.
    static ::testing::AssertionResult HoldsRegistryValue(const std::string& text)
    {
        RawValue value = ReadRegistry();
        if (!value.present)
            return ::testing::AssertionFailure() << "no registry value";
        return Findings()
            .Same("the type", static_cast<DWORD>(REG_SZ), value.type)
            .Same("the size", text.size() + 1, value.data.size())
            .Same("the text", text, std::string(value.data.begin(), value.data.end() - 1))
            .Same("the last byte", 0, value.data.back());
    }

    driver::ScratchDir scratch_;
    std::string savedIni_;
    RawValue savedRegistry_;
    BOOL savedActive_ = FALSE;
};

// Whether every part of the path fits 8 + 3 characters and none holds a blank or a quote.
::testing::AssertionResult IsEightDotThree(const std::string& path)
{
    Findings findings;
    size_t start = path.find('\\') + 1;
    while (start < path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        std::string part = path.substr(start, end - start);
        size_t dot = part.find('.');
        findings.True(("a name longer than 8: " + part).c_str(), (dot == std::string::npos ? part.size() : dot) <= 8);
        findings.True(("an extension longer than 3: " + part).c_str(),
                      dot == std::string::npos || part.size() - dot - 1 <= 3);
        start = end + 1;
    }
    findings.True("a blank", path.find(' ') == std::string::npos);
    findings.True("a quote", path.find('"') == std::string::npos);
    return ::testing::AssertionResult(findings) << " in " << path;
}

TEST_F(Registration, LongNamesWithBlanksAreWrittenInTheirShortForm)
{
    std::string path = MakeFile("Long Directory Name With Blanks", "A Screen Saver With Blanks.scr");
    std::string shortPath = ShortPath(path);
    ASSERT_NE(path, shortPath) << "the platform gives these names a short form";
    EXPECT_TRUE(IsEightDotThree(shortPath));

    EXPECT_EQ(1, RegisterScreenSaver(path.c_str()));
    EXPECT_EQ(shortPath, ReadIni());
    EXPECT_TRUE(HoldsRegistryValue(shortPath));
    EXPECT_EQ(shortPath, driver::ReadRegistrySaver());
    EXPECT_TRUE(ScreenSaveActive());
}

// A path that is its own short form is written as it is.
TEST_F(Registration, PathThatIsItsOwnShortFormIsWrittenAsItIs)
{
    std::string path = MakeFile("SHORT", "SAVER.SCR");
    ASSERT_EQ(path.find(' '), std::string::npos);
    std::string shortPath = ShortPath(path);
    EXPECT_EQ(1, RegisterScreenSaver(shortPath.c_str()));
    EXPECT_EQ(shortPath, ReadIni());
    EXPECT_TRUE(HoldsRegistryValue(shortPath));
}

// Double-byte names: the short form the platform gives, byte for byte.
TEST_F(Registration, DoubleByteNames)
{
    std::string path = MakeFile(driver::Cp932(L"表示ソフト フォルダー"), driver::Cp932(L"オーロラ スクリーンセーバー.scr"));
    std::string shortPath = ShortPath(path);
    EXPECT_EQ(1, RegisterScreenSaver(path.c_str()));
    EXPECT_EQ(shortPath, ReadIni());
    EXPECT_TRUE(HoldsRegistryValue(shortPath));
}

// A file that can't be found has no short form: nothing is written and nothing switched on.
TEST_F(Registration, MissingFileWritesNothing)
{
    WriteIni("C:\\BEFORE.SCR");
    RawValue before;
    before.present = true;
    before.type = REG_SZ;
    const char kBefore[] = "C:\\BEFORE.SCR";
    before.data.assign(kBefore, kBefore + sizeof kBefore);
    WriteRegistry(before);

    std::string missing = scratch_.File("no such folder\\missing saver.scr");
    EXPECT_EQ(0, RegisterScreenSaver(missing.c_str()));
    EXPECT_EQ("C:\\BEFORE.SCR", ReadIni());
    EXPECT_TRUE(HoldsRegistryValue("C:\\BEFORE.SCR"));
    EXPECT_FALSE(ScreenSaveActive());
}

TEST_F(Registration, MissingControlPanelKeepsTheIniEntryAndAnswersFalse)
{
    std::string path = MakeFile("No Panel", "panel less saver.scr");
    std::string shortPath = ShortPath(path);
    {
        RemovedKey removed(kPanel);
        ASSERT_TRUE(removed.ok()) << "Control Panel could not be moved aside";
        ASSERT_FALSE(KeyExists(kPanel));
        EXPECT_EQ(0, RegisterScreenSaver(path.c_str()));
        EXPECT_EQ(shortPath, ReadIni());
        EXPECT_FALSE(KeyExists(kDesktop)) << "a key was created";
    }
    EXPECT_TRUE(KeyExists(kDesktop)) << "Control Panel is back";
}

TEST_F(Registration, MissingDesktopKeyKeepsTheIniEntryAndAnswersFalse)
{
    std::string path = MakeFile("No Desktop", "desktop less saver.scr");
    std::string shortPath = ShortPath(path);
    {
        RemovedKey removed(kDesktop);
        ASSERT_TRUE(removed.ok()) << "Control Panel\\Desktop could not be moved aside";
        ASSERT_TRUE(KeyExists(kPanel));
        EXPECT_EQ(0, RegisterScreenSaver(path.c_str()));
        EXPECT_EQ(shortPath, ReadIni());
        EXPECT_FALSE(KeyExists(kDesktop)) << "a key was created";
    }
    EXPECT_TRUE(KeyExists(kDesktop)) << "Control Panel is back";
}

}  // namespace
