// A signed package: the certificate table that a signing tool appends behind the payload, and
// names in the stub's PE header, is no part of the saver. The saver lands byte for byte.
#include "tests/program/spine_fixture.h"

#include "setup/package.h"

namespace spine {
namespace {

TEST_F(SpineTest, SignedPackageInstallsExactlyTheSaver)
{
    ByteVector saver = driver::MakeSaver();
    ByteVector stub = driver::ReadBytes(driver::EnvPath("SETUP_EXE"));
    ByteVector certificate(1001, 0x30);  // no real signature: the layout is what counts
    ByteVector package =
        AppendCertificateTable(BuildPackage(stub, "spine_signed.scr", saver, kCertificateAlignment), certificate);
    ASSERT_FALSE(package.empty()) << "no security directory entry in the stub's header";
    ASSERT_GT(package.size(), stub.size() + kPayloadOffset + saver.size() + certificate.size());
    std::string exe = WritePackage("SETUP.exe", package);
    driver::Process process;
    HWND window = StartAndWaitForWindow(process, exe, "\"" + exe + "\"");
    ASSERT_TRUE(window) << "no window of class SetupWClass";
    EXPECT_EQ(saver, driver::ReadBytes(SaverPath("spine_signed.scr")));
    EXPECT_TRUE(ClosesWithEscape(process, window));
}

}  // namespace
}  // namespace spine
