// The path utilities under Wine with ANSI code page 932: the double-byte cases through the
// platform's own lead-byte test, and the lookups against real files and directories.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "support/paths.h"

namespace {

class PathsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(932u, GetACP()) << "the tests need ANSI code page 932 (LC_ALL=ja_JP.UTF-8)";
        char temp[MAX_PATH];
        ASSERT_NE(0u, GetTempPathA(MAX_PATH, temp));
        dir_ = std::string(temp) + "paths_test_" + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), nullptr));
    }
    void TearDown() override
    {
        for (const std::string& f : files_)
            DeleteFileA(f.c_str());
        for (auto it = dirs_.rbegin(); it != dirs_.rend(); ++it)
            RemoveDirectoryA(it->c_str());
        RemoveDirectoryA(dir_.c_str());
    }
    std::string MakeFile(const std::string& name, DWORD size)
    {
        std::string path = dir_ + "\\" + name;
        HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, f) << path;
        std::string bytes(size, 'z');
        DWORD written = 0;
        WriteFile(f, bytes.data(), size, &written, nullptr);
        CloseHandle(f);
        files_.push_back(path);
        return path;
    }
    std::string MakeDir(const std::string& name)
    {
        std::string path = dir_ + "\\" + name;
        EXPECT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path;
        dirs_.push_back(path);
        return path;
    }
    std::string dir_;
    std::vector<std::string> files_, dirs_;
};

TEST_F(PathsTest, DoubleByteCharactersUnderCodePage932)
{
    EXPECT_TRUE(IsAnsiLeadByte(0x95));
    EXPECT_FALSE(IsAnsiLeadByte(0x5C));
    char path[MAX_PATH] = "\x95\x5Cx";  // one double-byte character ending in 0x5C, then x
    EXPECT_EQ(path, GetFileNamePart(path));
    char dir[MAX_PATH] = "d\\\x95\x5C";
    EXPECT_EQ(dir + 2, GetFileNamePart(dir));
    char ext[MAX_PATH] = "\x95\x2E" "txt";  // 0x2E as a second byte is no dot
    EXPECT_STREQ("", GetExtensionPart(ext));
    char join[MAX_PATH] = "C:\\\x95\x5C";
    EXPECT_EQ(1, AppendPathPart(join, "a.scr"));
    EXPECT_STREQ("C:\\\x95\x5C\\a.scr", join);
    char name[MAX_PATH] = "C:\\dir\\abc.scr";
    EXPECT_EQ(1, SetExtension(name, "TMP"));
    EXPECT_STREQ("C:\\dir\\abc.TMP", name);
}

TEST_F(PathsTest, PathExistsForFilesDirectoriesAndPatterns)
{
    std::string file = MakeFile("report.doc", 10);
    std::string sub = MakeDir("sub");
    EXPECT_EQ(1, PathExists(file.c_str()));
    EXPECT_EQ(1, PathExists(sub.c_str()));
    EXPECT_EQ(1, PathExists((sub + "\\").c_str()));
    EXPECT_EQ(1, PathExists((dir_ + "\\report.*").c_str()));
    EXPECT_EQ(0, PathExists((dir_ + "\\report0.*").c_str()));
    EXPECT_EQ(0, PathExists((dir_ + "\\missing.txt").c_str()));
    EXPECT_EQ(1, PathExists("C:\\"));
    // A drive letter that no drive answers: the platform's drive type (1) counts as existing.
    EXPECT_EQ(1u, GetDriveTypeA("Q:\\"));
    EXPECT_EQ(1, PathExists("Q:\\"));
}

TEST_F(PathsTest, PathExistsKeepsTheFinal5COfADoubleByteName)
{
    std::string name = "\x95\x5C";  // a directory whose name is one character ending in 0x5C
    std::string sub = MakeDir(name);
    EXPECT_EQ(1, PathExists(sub.c_str()));
    EXPECT_EQ(1, PathExists((sub + "\\").c_str()));
}

TEST_F(PathsTest, PathExistsRestoresTheErrorMode)
{
    UINT before = SetErrorMode(SEM_NOGPFAULTERRORBOX);
    EXPECT_EQ(0, PathExists((dir_ + "\\missing").c_str()));
    EXPECT_EQ(static_cast<UINT>(SEM_NOGPFAULTERRORBOX), SetErrorMode(SEM_NOOPENFILEERRORBOX));
    EXPECT_EQ(1, PathExists(dir_.c_str()));
    EXPECT_EQ(static_cast<UINT>(SEM_NOOPENFILEERRORBOX), SetErrorMode(before));
}

TEST_F(PathsTest, FileLength)
{
    std::string file = MakeFile("seven.bin", 7);
    MakeFile("empty.bin", 0);
    EXPECT_EQ(7u, GetFileLength(file.c_str()));
    EXPECT_EQ(0u, GetFileLength((dir_ + "\\empty.bin").c_str()));
    EXPECT_EQ(0u, GetFileLength((dir_ + "\\missing.bin").c_str()));
    EXPECT_EQ(7u, GetFileLength((dir_ + "\\seven.*").c_str()));
}

TEST_F(PathsTest, EnsureTempDirectoryGivesTheTemporaryDirectory)
{
    char expected[MAX_PATH];
    GetTempPathA(MAX_PATH, expected);
    char buffer[MAX_PATH];
    memset(buffer, 0xAA, sizeof buffer);
    EnsureTempDirectory(buffer);
    EXPECT_STREQ(expected, buffer);
    EXPECT_EQ(1, PathExists(buffer));
}

}  // namespace
