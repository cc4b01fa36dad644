// The built stubs hold neither marker whole (the pieces are joined at run time), the search
// finds the package boundary right behind a stub's image, and a signed package's payload ends
// at its certificate table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "setup/package.h"
#include "tools/mksetup/package_writer.h"

namespace {

std::vector<std::string> StubPaths()
{
    std::vector<std::string> paths;
    const char* list = getenv("SETUP_STUBS");
    std::stringstream in(list ? list : "");
    std::string path;
    while (std::getline(in, path, ':'))
        if (!path.empty())
            paths.push_back(path);
    return paths;
}

ByteVector ReadAll(const std::string& path)
{
    ByteVector bytes;
    ReadWholeFile(path, &bytes);
    return bytes;
}

TEST(BuiltStubs, HoldNeitherMarkerWhole)
{
    std::vector<std::string> paths = StubPaths();
    ASSERT_EQ(2u, paths.size()) << "SETUP_STUBS must list the x64 and x86 stubs";
    char setupMarker[kBoundaryLength], saverMarker[kBoundaryLength];
    AssembleSetupBoundary(setupMarker);
    AssembleSaverBoundary(saverMarker);
    for (const std::string& path : paths) {
        ByteVector stub = ReadAll(path);
        ASSERT_GT(stub.size(), 1024u) << path << " is missing or empty: build the Windows trees first";
        EXPECT_EQ(stub.size(), FindBoundary(stub.data(), stub.size(), setupMarker)) << path;
        EXPECT_EQ(stub.size(), FindBoundary(stub.data(), stub.size(), saverMarker)) << path;
        // The pieces themselves are there, apart: that is how the markers come about.
        std::string text(stub.begin(), stub.end());
        EXPECT_NE(std::string::npos, text.find("boundary of setup and data")) << path;

        std::vector<unsigned char> package = stub;
        package.insert(package.end(), setupMarker, setupMarker + kBoundaryLength);
        package.resize(package.size() + kSaverNameFieldLength, 0);
        size_t boundary = 0, payload = 0, end = 0;
        ASSERT_EQ(1, LocatePayload(package.data(), package.size(), &boundary, &payload, &end));
        EXPECT_EQ(stub.size(), boundary) << path;
        EXPECT_EQ(package.size(), end) << path;
    }
}

// Each build's own header (PE32+ and PE32) is the one a signing tool updates: signed, a package
// of it ends its payload where the certificate table starts. The stubs themselves are unsigned.
TEST(BuiltStubs, SignedPackagesEndThePayloadAtTheCertificateTable)
{
    std::vector<std::string> paths = StubPaths();
    ASSERT_EQ(2u, paths.size()) << "SETUP_STUBS must list the x64 and x86 stubs";
    const ByteVector saver(1001, 0x5A);
    for (const std::string& path : paths) {
        ByteVector stub = ReadAll(path);
        ASSERT_GT(stub.size(), 1024u) << path << " is missing or empty: build the Windows trees first";
        uint32_t offset = 0, size = 0;
        EXPECT_EQ(0, FindCertificateTable(stub.data(), stub.size(), &offset, &size)) << path;
        ByteVector package = AppendCertificateTable(BuildPackage(stub, "s.scr", saver, kCertificateAlignment),
                                                    ByteVector(100, 0x30));
        ASSERT_FALSE(package.empty()) << path << ": no security directory entry found";
        size_t boundary = 0, payload = 0, end = 0;
        ASSERT_EQ(1, LocatePayload(package.data(), package.size(), &boundary, &payload, &end));
        EXPECT_EQ(saver, ByteVector(package.begin() + payload, package.begin() + end)) << path;
    }
}

}  // namespace
