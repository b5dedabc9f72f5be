// The executable's version resource and manifest, read back from the built
// file through the calls Windows Explorer and the loader use.
#include "launch_driver.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(VersionResource, NamesVersion1001OfAnNtApplicationInOneChineseTable) {
    const std::string image = e2e::launcherUnderTest();
    DWORD ignored = 0;
    std::vector<char> block(GetFileVersionInfoSizeA(image.c_str(), &ignored));
    ASSERT_FALSE(block.empty()) << image;
    ASSERT_TRUE(GetFileVersionInfoA(image.c_str(), 0, static_cast<DWORD>(block.size()),
                                    block.data()));
    const auto query = [&](const std::string& path) {
        void* value = nullptr;
        UINT length = 0;
        const bool found = VerQueryValueA(block.data(), path.c_str(), &value, &length) != 0;
        return std::string(found ? static_cast<const char*>(value) : "", found ? length : 0);
    };

    const std::string fixedBytes = query("\\");
    ASSERT_EQ(fixedBytes.size(), sizeof(VS_FIXEDFILEINFO));
    VS_FIXEDFILEINFO fixed;
    fixedBytes.copy(reinterpret_cast<char*>(&fixed), sizeof fixed);
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed.dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed.dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed.dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed.dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(fixed.dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
    EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed.dwFileFlags & fixed.dwFileFlagsMask, 0u);

    EXPECT_EQ(query("\\VarFileInfo\\Translation"), std::string("\x04\x08\xB0\x04", 4));
    const std::pair<const char*, const char*> strings[] = {
        {"FileDescription", "Corvane Remote Console Client"},
        {"ProductName", "Corvane Remote Console Client"},
        {"InternalName", "corvane-r.exe"},
        {"OriginalFilename", "corvane-r.exe"},
        {"FileVersion", "1.0.0.1"},
        {"ProductVersion", "1.0.0.1"}};
    for (const auto& [name, expected] : strings) {
        EXPECT_STREQ(query("\\StringFileInfo\\080404b0\\" + std::string(name)).c_str(), expected)
            << name;
    }
    EXPECT_GT(query("\\StringFileInfo\\080404b0\\CompanyName").size(), 1u);
    EXPECT_GT(query("\\StringFileInfo\\080404b0\\LegalCopyright").size(), 1u);
}

TEST(Manifest, RunsAsInvokerWithoutUiAccessAndIsDpiAware) {
    HMODULE image =
        LoadLibraryExA(e2e::launcherUnderTest().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(image, nullptr);
    HRSRC resource = FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(resource, nullptr) << "no manifest resource 1";
    const std::string xml(static_cast<const char*>(LockResource(LoadResource(image, resource))),
                          SizeofResource(image, resource));
    FreeLibrary(image);
    for (const char* part : {"<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"",
                             ">true</dpiAware>", "urn:schemas-microsoft-com:asm.v3"}) {
        EXPECT_NE(xml.find(part), std::string::npos) << part << " not in\n" << xml;
    }
}

} // namespace
