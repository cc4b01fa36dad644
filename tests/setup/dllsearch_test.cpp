// The setup's restriction of the DLL search, against a planted DLL: this program has a
// dwmapi.dll of our own beside it (a name that programs commonly probe, and one that nothing
// loads into this program at its start). A child started from another folder loads
// "dwmapi.dll" by name; without the restriction the planted file comes (the control, so that
// the test can fail), after RestrictDllSearch the system's own.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "setup/dllsearch.h"
#include "tools/driver/driver.h"

namespace {

// The child's exit codes.
enum : DWORD { kPlanted = 10, kSystemDll = 11, kNothing = 12, kUnrestricted = 13, kUnknown = 14 };

const char kChildOption[] = "--load-dwmapi";

DWORD LoadDwmapi(bool restrict)
{
    if (restrict && !RestrictDllSearch())
        return kUnrestricted;
    HMODULE module = LoadLibraryA("dwmapi.dll");
    if (!module)
        return kNothing;
    if (GetProcAddress(module, "PlantedMarker"))
        return kPlanted;
    return GetProcAddress(module, "DwmIsCompositionEnabled") ? kSystemDll : kUnknown;
}

std::string OwnPath()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

TEST(DllSearch, PlantedDllIsPassedOverOnceRestricted)
{
    std::string self = OwnPath();
    std::string planted = self.substr(0, self.rfind('\\') + 1) + "dwmapi.dll";
    ASSERT_TRUE(driver::FileExists(planted)) << planted << " must lie beside the test program";
    // Wine prefers its built-in DLL even to one found beside the program, where Windows takes
    // the first file the search finds: the children are told to do as Windows does.
    char overrides[1024] = {};
    GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
    std::string windowsOrder = std::string(overrides) + (overrides[0] ? ";" : "") + "dwmapi=n,b";
    ASSERT_TRUE(SetEnvironmentVariableA("WINEDLLOVERRIDES", windowsOrder.c_str()));
    // Started from another folder, so that the planted file is found as the program's neighbour.
    driver::ScratchDir elsewhere("dllsearch");
    const struct {
        const char* mode;
        DWORD expected;
    } cases[] = {
        {"unrestricted", kPlanted},
        {"restricted", kSystemDll},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        driver::Process child;
        ASSERT_TRUE(child.Start(self, "\"" + self + "\" " + kChildOption + " " + c.mode, elsewhere.path()));
        DWORD code = 0;
        ASSERT_TRUE(child.WaitExit(20000, &code)) << "the child did not end";
        EXPECT_EQ(c.expected, code);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], kChildOption) == 0)
        return static_cast<int>(LoadDwmapi(strcmp(argv[2], "restricted") == 0));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
