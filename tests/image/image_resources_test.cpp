// The executable's version resource and manifest, read back from the built
// file through the same calls Windows Explorer and the loader use.
#include "windows_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kImage = testing_support::launcherUnderTest();

class VersionResource : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(kImage.c_str(), &ignored);
        ASSERT_GT(size, 0u) << kImage;
        block().resize(size);
        ASSERT_TRUE(GetFileVersionInfoA(kImage.c_str(), 0, size, block().data()));
    }

    static std::vector<char>& block() {
        static std::vector<char> data;
        return data;
    }

    static bool query(const char* path, void** value, UINT* length) {
        return VerQueryValueA(block().data(), path, value, length) != 0;
    }

    static std::string text(const std::string& name) {
        const std::string path = "\\StringFileInfo\\080404b0\\" + name;
        void* value = nullptr;
        UINT length = 0;
        if (!query(path.c_str(), &value, &length) || length == 0) {
            return "<missing>";
        }
        return static_cast<const char*>(value);
    }
};

TEST_F(VersionResource, FixedPartNamesVersion1001ForAnNtApplication) {
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(query("\\", &value, &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u);
}

TEST_F(VersionResource, OneTranslationChinesePrcUnicode) {
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(query("\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 4u);
    const auto* pair = static_cast<const WORD*>(value);
    EXPECT_EQ(pair[0], 0x0804);
    EXPECT_EQ(pair[1], 1200);
}

TEST_F(VersionResource, StringTableNamesTheProduct) {
    EXPECT_EQ(text("FileDescription"), "Corvane Remote Console Client");
    EXPECT_EQ(text("ProductName"), "Corvane Remote Console Client");
    EXPECT_EQ(text("InternalName"), "corvane-r.exe");
    EXPECT_EQ(text("OriginalFilename"), "corvane-r.exe");
    EXPECT_EQ(text("FileVersion"), "1.0.0.1");
    EXPECT_EQ(text("ProductVersion"), "1.0.0.1");
    EXPECT_NE(text("CompanyName"), "<missing>");
    EXPECT_NE(text("LegalCopyright"), "<missing>");
}

std::string manifest() {
    HMODULE image = LoadLibraryExA(kImage.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_NE(image, nullptr);
    std::string text;
    HRSRC resource = FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    if (resource != nullptr) {
        const char* data = static_cast<const char*>(LockResource(LoadResource(image, resource)));
        text.assign(data, SizeofResource(image, resource));
    }
    FreeLibrary(image);
    return text;
}

// Returns the text between <tag ...> and </tag>, or the attributes of a
// self-closing <tag .../>.
std::string element(const std::string& xml, const std::string& tag) {
    const std::size_t open = xml.find("<" + tag);
    if (open == std::string::npos) {
        return "<missing>";
    }
    const std::size_t close = xml.find('>', open);
    if (xml[close - 1] == '/') {
        return xml.substr(open + tag.size() + 1, close - open - tag.size() - 2);
    }
    const std::size_t end = xml.find("</" + tag, close);
    return xml.substr(close + 1, end - close - 1);
}

TEST(Manifest, RunsAsInvokerWithoutUiAccessAndIsDpiAware) {
    const std::string xml = manifest();
    ASSERT_FALSE(xml.empty()) << "no manifest resource 1";
    EXPECT_EQ(element(xml, "requestedExecutionLevel"), " level=\"asInvoker\" uiAccess=\"false\"");
    EXPECT_EQ(element(xml, "dpiAware"), "true");
    EXPECT_NE(xml.find("urn:schemas-microsoft-com:asm.v3"), std::string::npos);
}

} // namespace
