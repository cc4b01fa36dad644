// The package builder as its users run it: the real mksetup binary (MKSETUP) started with real
// files in a scratch folder, its exit code, its one-line messages and the bytes it writes.
// Logos come from the BMP suite (BMPSUITE_DIR).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "setup/package.h"
#include "tests/common/findings.h"
#include "tests/common/dib_builder.h"
#include "tools/mksetup/package_writer.h"

namespace {

struct Outcome {
    int code;
    std::string out, err;
};

// The markers built here from their text, independently of the layout code under test.
ByteVector Marker(const char* words)
{
    std::string text = std::string("@@@@@-----") + words + "-----@@@@@";
    return ByteVector(text.begin(), text.end());
}

ByteVector SetupMarker()
{
    return Marker("boundary of setup and data");
}

ByteVector Bytes(const std::string& s)
{
    return ByteVector(s.begin(), s.end());
}

ByteVector Join(ByteVector a, const ByteVector& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class Mksetup : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tool = getenv("MKSETUP");
        ASSERT_TRUE(tool) << "MKSETUP names the mksetup binary";
        tool_ = tool;
        const char* suite = getenv("BMPSUITE_DIR");
        ASSERT_TRUE(suite) << "BMPSUITE_DIR names the BMP suite";
        suite_ = suite;
        char folder[] = "/tmp/mksetup-test-XXXXXX";
        ASSERT_TRUE(mkdtemp(folder));
        dir_ = folder;
        stub_ = Join(Bytes("MZ stub image "), ByteVector(300, 0x90));
        saverImage_ = Join(Bytes("MZ saver image "), ByteVector(200, 0xCC));
        ASSERT_TRUE(ReadWholeFile(Suite("good/rgb24.bmp"), &bmp_));
        logo_.assign(bmp_.begin() + 14, bmp_.end());
        saver_ = Join(saverImage_, BuildSaverDataBlock(ByteVector(), "one", "two", logo_));
        Put("stub.exe", stub_);
        Put("aurora.scr", saver_);
    }

    void TearDown() override
    {
        if (!dir_.empty())
            system(("rm -rf " + Quote(dir_)).c_str());
    }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    std::string Suite(const std::string& name) const { return suite_ + "/" + name; }

    void Put(const std::string& name, const ByteVector& bytes)
    {
        ASSERT_TRUE(WriteWholeBytes(Path(name), bytes));
    }

    ByteVector Get(const std::string& name)
    {
        ByteVector bytes;
        EXPECT_TRUE(ReadWholeFile(Path(name), &bytes)) << name;
        return bytes;
    }

    bool Exists(const std::string& name) const { return access(Path(name).c_str(), F_OK) == 0; }

    Outcome Start(const std::vector<std::string>& args)
    {
        std::string command = Quote(tool_);
        for (const std::string& a : args)
            command += " " + Quote(a);
        command += " >" + Quote(Path("stdout")) + " 2>" + Quote(Path("stderr"));
        int status = system(command.c_str());
        Outcome run;
        run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        ByteVector out = Get("stdout"), err = Get("stderr");
        run.out.assign(out.begin(), out.end());
        run.err.assign(err.begin(), err.end());
        return run;
    }

    // A package of stub.exe and the named saver file, with --name when name is not null.
    Outcome Build(const std::string& saver, const char* name, const std::string& out = "out.exe")
    {
        std::vector<std::string> args = {"--stub", Path("stub.exe"), "--saver", Path(saver)};
        if (name) {
            args.push_back("--name");
            args.push_back(name);
        }
        args.push_back("--out");
        args.push_back(Path(out));
        return Start(args);
    }

    std::string tool_, suite_, dir_;
    ByteVector stub_, saverImage_, bmp_, logo_, saver_;
};

// Whether the run is a refusal: one line on stderr naming the fault, nothing on stdout, and
// no output file.
::testing::AssertionResult IsRefusal(const Outcome& run, int code, const std::string& text, bool outputMade)
{
    return ::testing::AssertionResult(Findings()
                                          .Same("the exit code", code, run.code)
                                          .True("the fault is not named", run.err.find(text) != std::string::npos)
                                          .True("no line of mksetup's", run.err.rfind("mksetup: ", 0) == 0)
                                          .True("not one line", !run.err.empty() &&
                                                                    run.err.find('\n') == run.err.size() - 1)
                                          .True("output on stdout", run.out.empty())
                                          .True("an output file", !outputMade))
           << " (stderr: " << run.err << ", stdout: " << run.out << ")";
}

// The stub is followed by the zero bytes that make the package's length a multiple of 8.
TEST_F(Mksetup, PackageIsStubMarkerNameFieldSaver)
{
    Outcome run = Build("aurora.scr", nullptr);
    ASSERT_EQ(0, run.code) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    ByteVector field(260, 0);
    memcpy(field.data(), "aurora.scr", 10);
    const size_t padding = (8 - (stub_.size() + 306 + saver_.size()) % 8) % 8;
    ByteVector image = Join(stub_, ByteVector(padding, 0));
    ByteVector written = Get("out.exe");
    EXPECT_EQ(Join(Join(Join(image, SetupMarker()), field), saver_), written);
    EXPECT_EQ(0u, written.size() % 8);

    // Names given in UTF-8 stand in code page 932: "オーロラ.scr" by --name, "星空.scr" by the saver's file.
    Put("\xE6\x98\x9F\xE7\xA9\xBA.scr", saver_);
    ASSERT_EQ(0, Build("\xE6\x98\x9F\xE7\xA9\xBA.scr", nullptr).code);
    EXPECT_EQ(0, memcmp(Get("out.exe").data() + image.size() + 46, "\x90\xAF\x8B\xF3.scr\0", 9));
    run = Build("aurora.scr", "\xE3\x82\xAA\xE3\x83\xBC\xE3\x83\xAD\xE3\x83\xA9.scr");
    ASSERT_EQ(0, run.code) << run.err;
    written = Get("out.exe");
    ASSERT_GE(written.size(), image.size() + 306);
    EXPECT_EQ(0, memcmp(written.data() + image.size() + 46, "\x83\x49\x81\x5B\x83\x8D\x83\x89.scr", 13));
    EXPECT_EQ(ByteVector(260 - 12, 0), ByteVector(written.begin() + image.size() + 46 + 12,
                                                  written.begin() + image.size() + 306));
}

TEST_F(Mksetup, NameRefusals)
{
    struct Case {
        std::string name;
        const char* why;
    };
    const Case cases[] = {
        {"CON.scr", "reserved device name"},
        {"lpt1", "reserved device name"},
        {"a\\b.scr", "backslash, slash or colon"},
        {"a/b.scr", "backslash, slash or colon"},
        {"c:x.scr", "backslash, slash or colon"},
        {"\xE2\x80\x95.scr", "backslash, slash or colon"},  // "―": 0x81 0x5C in code page 932, a backslash elsewhere
        {"\xE3\x83\x9D.scr", "one of < > \" | ? *"},        // "ポ": likewise with '|' as the second byte
        {"a*b.scr", "one of < > \" | ? *"},
        {"tab\there.scr", "control character"},
        {"abc.", "ends in a dot or a blank"},
        {"aurora.exe", "does not end in .scr"},
        {"abc ", "ends in a dot or a blank"},
        {"abc\x81", "no UTF-8 text"},
        {"caf\xC3\xA9.scr", "code page 932 has no \"\xC3\xA9\""},
        {"", "empty"},
        {"..", "empty"},
        {std::string(195, 'n'), "would exceed 259 bytes"},
        {std::string(300, 'n'), "would exceed 259 bytes"},
    };
    for (const Case& c : cases) {
        Outcome run = Build("aurora.scr", c.name.c_str());
        EXPECT_TRUE(IsRefusal(run, 4, c.why, Exists("out.exe")));
        EXPECT_NE(std::string::npos, run.err.find("name \"" + c.name + "\" refused")) << run.err;
    }
    // The longest name taken leaves 64 bytes for the system directory.
    Outcome run = Build("aurora.scr", std::string(190, 'n').append(".scr").c_str());
    EXPECT_EQ(0, run.code) << run.err;
}

TEST_F(Mksetup, PackageRefusals)
{
    ByteVector block = BuildSaverDataBlock(ByteVector(), "one", "two", logo_);
    ByteVector badDib;
    ASSERT_TRUE(ReadWholeFile(Suite("bad/badbitcount.bmp"), &badDib));
    badDib.erase(badDib.begin(), badDib.begin() + 14);
    struct Case {
        const char* file;
        ByteVector saver;
        int code;
        const char* why;
    };
    const Case cases[] = {
        {"short.scr", Join(saverImage_, ByteVector(block.begin(), block.begin() + 188)), 6, "ends before its length fields"},
        {"first.scr", Join(saverImage_, ByteVector(block.begin(), block.begin() + 192)), 6, "first string (3 bytes) runs past"},
        {"second.scr", Join(saverImage_, ByteVector(block.begin(), block.begin() + 198)), 6, "second string (3 bytes) runs past"},
        {"logo.scr", Join(saverImage_, ByteVector(block.begin(), block.end() - 1)), 6, "logo length 24616 runs past"},
        {"nologo.scr", Join(saverImage_, ByteVector(block.begin(), block.begin() + 206 - 1)), 6, "runs past"},
        {"baddib.scr", Join(saverImage_, BuildSaverDataBlock(ByteVector(), "", "", badDib)), 7, "bits"},
        {"tiny.scr", Join(saverImage_, BuildSaverDataBlock(ByteVector(), "", "", ByteVector(3, 1))), 7, "do not fit"},
    };
    for (const Case& c : cases) {
        Put(c.file, c.saver);
        EXPECT_TRUE(IsRefusal(Build(c.file, "x.scr"), c.code, c.why, Exists("out.exe")));
    }

    Put("stub.exe", Join(stub_, SetupMarker()));
    EXPECT_TRUE(IsRefusal(Build("aurora.scr", nullptr), 3, "holds the setup marker itself", Exists("out.exe")));
}

TEST_F(Mksetup, FileAndCommandLineErrors)
{
    EXPECT_TRUE(IsRefusal(Build("missing.scr", nullptr), 2, "cannot read the screen saver", Exists("out.exe")));
    EXPECT_TRUE(IsRefusal(Build("aurora.scr", nullptr, "no/such/dir/out.exe"), 2, "folder does not exist", false));
    EXPECT_TRUE(IsRefusal(Build("aurora.scr", nullptr, "."), 2, "it is a folder", false));
    EXPECT_TRUE(IsRefusal(Build("aurora.scr", nullptr, "./aurora.scr"), 2, "never overwrites", Get("aurora.scr") != saver_));
    EXPECT_TRUE(IsRefusal(Start({"--check", Path("missing.exe")}), 2, "cannot read the package", false));

    const std::vector<std::string> usages[] = {
        {},
        {"--bogus"},
        {"--stub"},
        {"--stub", Path("stub.exe"), "--out", Path("out.exe")},
        {"--check", Path("out.exe"), "--stub", Path("stub.exe")},
        {"--add-data", "--saver", Path("aurora.scr"), "--logo", Path("x.bmp"), "--out", Path("out.exe"), "--name", "a"},
    };
    for (const auto& args : usages)
        EXPECT_TRUE(IsRefusal(Start(args), 1, "mksetup --help", Exists("out.exe")));

    Outcome help = Start({"--help"});
    EXPECT_EQ(0, help.code);
    for (const char* code : {" 0  done", " 1  wrong", " 2  a file", " 3  the stub", " 4  the saver name", " 5  the package's screen",
                             " 6  the data", " 7  the logo", " 8  the file is no", " 9  the screen saver already",
                             "10  the logo file", "11  a certificate", "12  the screen saver is signed", "13  the stub can't"})
        EXPECT_NE(std::string::npos, help.out.find(code)) << code;
}

TEST_F(Mksetup, WarningsLeaveThePackageMade)
{
    Put("nested.scr", Join(Join(saverImage_, SetupMarker()), Join(ByteVector(10, 0), BuildSaverDataBlock({}, "", "", logo_))));
    Outcome run = Build("nested.scr", "nested.scr");
    EXPECT_EQ(0, run.code);
    EXPECT_NE(std::string::npos, run.err.find("mksetup: warning: the screen saver holds the setup marker")) << run.err;
    EXPECT_TRUE(Exists("out.exe"));
}

TEST_F(Mksetup, CheckReportsNamePayloadAndLogo)
{
    ASSERT_EQ(0, Build("aurora.scr", "Aurora.scr").code);
    Outcome run = Start({"--check", Path("out.exe")});
    EXPECT_EQ(0, run.code) << run.err;
    const size_t image = Get("out.exe").size() - 306 - saver_.size();  // the stub and its padding
    EXPECT_EQ("name: Aurora.scr\narchitecture: none named by the stub\nimage: " + std::to_string(image) + " bytes\npayload: " +
                  std::to_string(saver_.size()) + " bytes\nlogo: " + std::to_string(logo_.size()) +
                  " bytes\nsigned: no\n",
              run.out);

    Put("nologo.scr", Join(saverImage_, BuildSaverDataBlock(ByteVector(), "", "", ByteVector())));
    ASSERT_EQ(0, Build("nologo.scr", "n.scr").code);
    run = Start({"--check", Path("out.exe")});
    EXPECT_EQ(0, run.code) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("logo: 0 bytes\n")) << run.out;
}

TEST_F(Mksetup, CheckRefusals)
{
    // Packages made without the builder's judgement, each with one fault.
    struct Case {
        ByteVector package;
        int code;
        const char* why;
    };
    ByteVector block = BuildSaverDataBlock(ByteVector(), "", "", logo_);
    const Case cases[] = {
        {stub_, 8, "is no package"},
        {Join(Join(stub_, SetupMarker()), ByteVector(259, 'a')), 8, "is no package"},
        {Join(Join(stub_, SetupMarker()), ByteVector(260, 'a')), 4, "no NUL"},
        {BuildPackage(stub_, "CON.scr", saver_), 4, "reserved device name"},
        {BuildPackage(stub_, "..\\x.scr", saver_), 4, "backslash"},
        {BuildPackage(stub_, "\x81\x20x.scr", saver_), 4, "lead byte without a valid second byte"},
        {BuildPackage(stub_, "x\xFF.scr", saver_), 4, "no character of code page 932"},
        {BuildPackage(stub_, "p.scr", saverImage_), 5, "holds no data block"},
        {BuildPackage(stub_, "p.scr", ByteVector()), 5, "holds no data block"},
        {BuildPackage(stub_, "p.scr", Join(saverImage_, ByteVector(block.begin(), block.end() - 2))), 6, "runs past"},
    };
    for (const Case& c : cases) {
        Put("given.exe", c.package);
        EXPECT_TRUE(IsRefusal(Start({"--check", Path("given.exe")}), c.code, c.why, false));
    }
}

// A package signed after it was built: --check reports the certificate table and a payload of
// exactly the saver. Tables that a signing tool would not write, or that the setup would not
// cut off, are refused; so is a stub that is signed itself.
TEST_F(Mksetup, CheckReportsSignedPackages)
{
    Put("pe.exe", Join(BuildHeaderOnlyImage(true), ByteVector(99, 0x90)));
    ASSERT_EQ(0, Start({"--stub", Path("pe.exe"), "--saver", Path("aurora.scr"), "--out", Path("out.exe")}).code);
    const ByteVector built = Get("out.exe");
    const ByteVector signature = Bytes("not a real signature");  // 20 bytes: 28 with the header, 32 padded
    const ByteVector signed_ = AppendCertificateTable(built, signature);
    ASSERT_EQ(built.size() + 32, signed_.size()) << "the built package needs no padding in front of the table";
    const size_t table = built.size(), entry = 0x80 + 24 + 112 + 4 * 8;
    Put("signed.exe", signed_);
    Outcome run = Start({"--check", Path("signed.exe")});
    ASSERT_EQ(0, run.code) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("payload: " + std::to_string(saver_.size()) + " bytes\n")) << run.out;
    EXPECT_NE(std::string::npos,
              run.out.find("signed: yes, certificate table of 32 bytes at offset " + std::to_string(table) + "\n"))
        << run.out;

    const size_t nameField = table - saver_.size() - 260;
    struct Case {
        const char* why;
        size_t at;  // where the 32-bit value goes; 0: 8 more bytes behind the table instead
        uint32_t value;
    } const cases[] = {
        {"unknown revision 768", table + 4, 0x0300 | 2u << 16},
        {"unknown type 9", table + 4, 0x0200 | 9u << 16},
        {"length 7, which does not fit", table, 7},
        {"length 40, which does not fit", table, 40},
        {"does not start on a multiple of 8", entry, static_cast<uint32_t>(table + 4)},
        {"does not lie behind the payload", entry, static_cast<uint32_t>(nameField)},
        {"does not end the file", 0, 0},
    };
    for (const Case& c : cases) {
        ByteVector faulty = signed_;
        if (c.at == 0)
            faulty.resize(faulty.size() + 8, 0);
        else
            PutU32(faulty, c.at, c.value);
        if (c.at == entry)
            PutU32(faulty, entry + 4, static_cast<uint32_t>(faulty.size() - c.value));
        Put("faulty.exe", faulty);
        EXPECT_TRUE(IsRefusal(Start({"--check", Path("faulty.exe")}), 11, c.why, false));
    }

    ByteVector signedStub = Join(BuildHeaderOnlyImage(true), ByteVector(99, 0x90));
    PutU32(signedStub, entry, static_cast<uint32_t>(signedStub.size() - 8));
    PutU32(signedStub, entry + 4, 8);
    Put("stub.exe", signedStub);
    EXPECT_TRUE(IsRefusal(Build("aurora.scr", nullptr, "out2.exe"), 11, "carries a certificate table",
                          Exists("out2.exe")));
}

// --add-data appends marker, 132 zero bytes, L, 0, two empty strings, 0 and the BMP minus its
// file header; the setup's FindLogo then finds exactly those bytes.
TEST_F(Mksetup, AddDataRoundTrip)
{
    Put("bare.scr", saverImage_);
    // Each logo and the file whose DIB the package carries for it (a V5 header's is rewritten).
    for (auto [file, like] : {std::pair("good/rgb24.bmp", ""), {"good/pal8.bmp", ""}, {"good/pal4rle.bmp", ""},
                              {"good/pal1.bmp", ""}, {"good/rgb16-565.bmp", ""}, {"good/rgb32bf.bmp", ""},
                              {"good/pal8topdown.bmp", ""}, {"good/pal8v5.bmp", "good/pal8.bmp"}}) {
        SCOPED_TRACE(file);
        ByteVector bmp;
        ASSERT_TRUE(ReadWholeFile(Suite(*like ? like : file), &bmp));
        Outcome run = Start({"--add-data", "--saver", Path("bare.scr"), "--logo", Suite(file), "--out", Path("with.scr")});
        ASSERT_EQ(0, run.code) << run.err;
        ByteVector with = Get("with.scr");
        ByteVector dib(bmp.begin() + 14, bmp.end());
        ASSERT_EQ(saverImage_.size() + 198 + dib.size(), with.size());
        EXPECT_TRUE(std::equal(saverImage_.begin(), saverImage_.end(), with.begin()));
        const unsigned char* block = with.data() + saverImage_.size();
        EXPECT_EQ(Marker("boundary of saver and data"), ByteVector(block, block + 46));
        EXPECT_EQ(ByteVector(132, 0), ByteVector(block + 46, block + 178));
        uint32_t length = static_cast<uint32_t>(dib.size());
        const unsigned char fields[20] = {
            static_cast<unsigned char>(length), static_cast<unsigned char>(length >> 8),
            static_cast<unsigned char>(length >> 16), static_cast<unsigned char>(length >> 24)};
        EXPECT_EQ(0, memcmp(block + 178, fields, 20));

        const unsigned char* logo = nullptr;
        uint32_t logoLength = 0;
        ASSERT_EQ(1, FindLogo(with.data(), with.size(), &logo, &logoLength));
        ASSERT_EQ(dib.size(), logoLength);
        EXPECT_EQ(dib, ByteVector(logo, logo + logoLength));

        // The result makes a package that checks out with the same logo.
        ASSERT_EQ(0, Build("with.scr", "with.scr").code);
        run = Start({"--check", Path("out.exe")});
        EXPECT_NE(std::string::npos, run.out.find("logo: " + std::to_string(dib.size()) + " bytes\n")) << run.out;
    }
    ASSERT_EQ(0, Start({"--add-data", "--saver", Path("bare.scr"), "--out", Path("with.scr")}).code);  // no logo
    EXPECT_EQ(Join(saverImage_, BuildSaverDataBlock({}, "", "", {})), Get("with.scr"));
}

// The saver alone, as a drop gives it: the package beside it from the built-in stub (x86 unless
// --arch x64), the saver with an empty data block added, or one with the logo of --logo, when it
// has none. A signed saver would lose its signature to the block and is refused.
TEST_F(Mksetup, OneStepFromTheSaverAlone)
{
    ByteVector x86, x64;
    ASSERT_TRUE(getenv("SETUP_EXE_X86") && ReadWholeFile(getenv("SETUP_EXE_X86"), &x86));
    ASSERT_TRUE(getenv("SETUP_EXE_X64") && ReadWholeFile(getenv("SETUP_EXE_X64"), &x64));
    Put("plain.scr", saverImage_);
    ByteVector wide = Join(BuildHeaderOnlyImage(true), BuildSaverDataBlock({}, "", "", {})), pal8;
    PutU32(wide, 0x84, 0x8664);  // the PE header's machine: x64
    Put("wide.scr", wide);
    ASSERT_TRUE(ReadWholeFile(Suite("good/pal8.bmp"), &pal8));
    const struct {
        std::vector<std::string> options;
        const char* saver;
        const ByteVector& stub;
        ByteVector payload;
    } cases[] = {
        {{}, "aurora.scr", x86, saver_},
        {{"--arch", "x64"}, "aurora.scr", x64, saver_},
        {{}, "plain.scr", x86, Join(saverImage_, BuildSaverDataBlock({}, "", "", {}))},
        {{"--logo", Suite("good/rgb24.bmp")}, "plain.scr", x86, Join(saverImage_, BuildSaverDataBlock({}, "", "", logo_))},
        {{}, "wide.scr", x64, wide},
        {{"--saver"}, "plain.scr", x86, Join(saverImage_, BuildSaverDataBlock({}, "", "", {}))},
        {{"--logo", Suite("good/pal8.bmp")}, "aurora.scr", x86,
         Join(saverImage_, BuildSaverDataBlock({}, "one", "two", ByteVector(pal8.begin() + 14, pal8.end())))},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.options;
        args.push_back(Path(c.saver));
        Outcome run = Start(args);
        ASSERT_EQ(0, run.code) << run.err;
        EXPECT_EQ(c.payload != saver_ && c.payload != wide, run.out.find("itself is unchanged") != std::string::npos) << run.out;
        const std::string stem = std::string(c.saver).substr(0, strlen(c.saver) - 4);
        EXPECT_EQ(BuildPackage(c.stub, c.saver, c.payload, 8), Get(stem + "-setup.exe"));
    }
    ByteVector signedSaver = Join(BuildHeaderOnlyImage(false), ByteVector(16, 0));
    PutU32(signedSaver, 0x80 + 24 + 96 + 4 * 8, static_cast<uint32_t>(signedSaver.size() - 8));
    PutU32(signedSaver, 0x80 + 24 + 96 + 4 * 8 + 4, 8);
    Put("signed.scr", signedSaver);
    EXPECT_TRUE(IsRefusal(Start({Path("signed.scr")}), 12, "add the data block first", Exists("signed-setup.exe")));
    EXPECT_TRUE(IsRefusal(Start({"--add-data", "--saver", Path("signed.scr"), "--logo", Suite("good/rgb24.bmp"), "--out",
                                 Path("with.scr")}), 12, "is signed", Exists("with.scr")));
    unlink(Path("wide-setup.exe").c_str());
    unlink(Path("plain-setup.exe").c_str());
    EXPECT_TRUE(IsRefusal(Start({"--arch", "x86", Path("wide.scr")}), 13, "64-bit program", Exists("wide-setup.exe")));
    EXPECT_TRUE(IsRefusal(Start({"--name", "CON.scr", Path("plain.scr")}), 4, "reserved device", Exists("plain-setup.exe")));
}

// A BMP file of a packed DIB: the 14-byte file header, its bits right behind the colour table.
ByteVector BmpFile(const std::vector<uint8_t>& dib, uint32_t bitsAt)
{
    ByteVector file(14, 0);
    file[0] = 'B';
    file[1] = 'M';
    PutU32(file, 2, static_cast<uint32_t>(14 + dib.size()));
    PutU32(file, 10, 14 + bitsAt);
    return Join(file, dib);
}

TEST_F(Mksetup, AddDataRefusals)
{
    Put("bare.scr", saverImage_);
    Put("text.bmp", Bytes("this is no bitmap at all, just text"));
    DibRecipe huge;  // 300 bytes of RLE8 that claim 16384 x 16384 pixels
    huge.width = huge.height = 16384;
    huge.compression = 1;
    huge.imageSize = 300;
    Put("huge.bmp", BmpFile(BuildDib(huge), 40 + 256 * 4));
    struct Case {
        std::string saver, logo;
        int code;
        const char* why;
    };
    const Case cases[] = {
        {Path("aurora.scr"), Suite("good/rgb24.bmp"), 9, "already holds a data block"},
        {Path("bare.scr"), Path("text.bmp"), 10, "does not start with a BMP file header"},
        {Path("bare.scr"), Suite("bad/badheadersize.bmp"), 10, "header of 66 bytes is none that this tool reads"},
        {Path("bare.scr"), Suite("bad/badpalettesize.bmp"), 7, "colour table of 305402420 colours"},
        {Path("bare.scr"), Suite("bad/badbitcount.bmp"), 7, "30000 bits with compression 0; save it as a 24-bit BMP"},
        {Path("bare.scr"), Suite("bad/reallybig.bmp"), 7, "3000000 x 2000000"},
        {Path("bare.scr"), Suite("bad/shortfile.bmp"), 7, "run past its end"},
        {Path("bare.scr"), Path("huge.bmp"), 7, "16384 x 16384 is more than 16777216 pixels"},
        {Path("bare.scr"), Path("missing.bmp"), 2, "cannot read the logo"},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(IsRefusal(Start({"--add-data", "--saver", c.saver, "--logo", c.logo, "--out", Path("with.scr")}),
                              c.code, c.why, Exists("with.scr")));
}

}  // namespace
