// The preview tool as a real process: it lays out a test layout with the installer's skin and writes a
// PNG whose pixels are read back here. Also: layout text outside ASCII survives the loader.
#include <stb_image.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "dui/control.h"
#include "dui/loader.h"
#include "host/handles.h"
#include "render_fixture.h"

using namespace rendertest;

namespace {

std::wstring moduleFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

// build/<dir>/tests/render/ -> build/<dir>/tools/preview/preview.exe
std::wstring previewExe() {
    return moduleFolder() + L"..\\..\\tools\\preview\\preview.exe";
}

struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> rgb;  // 0xRRGGBB per pixel
    uint32_t at(int x, int y) const { return rgb[static_cast<std::size_t>(y) * width + x]; }
    int count(int x0, int y0, int x1, int y1, uint32_t colour) const {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) n += at(x, y) == colour;
        return n;
    }
    // Pixels with every channel at least `floor` (anti-aliased white text counts).
    int bright(int x0, int y0, int x1, int y1, uint32_t floor) const {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const uint32_t c = at(x, y);
                n += (c >> 16) >= floor && ((c >> 8) & 0xFF) >= floor && (c & 0xFF) >= floor;
            }
        return n;
    }
};

class PreviewTool : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        out_ = std::wstring(temp) + L"tarvo-preview-" + std::to_wstring(GetCurrentProcessId()) + L".png";
    }
    void TearDown() override { DeleteFileW(out_.c_str()); }

    // Runs the tool with the test layouts and answers its exit code.
    DWORD run(const std::wstring& arguments, bool testLayouts = true) {
        DeleteFileW(out_.c_str());
        std::wstring command = L"\"" + previewExe() + L"\" " + arguments + L" --out \"" + out_ + L"\"";
        if (testLayouts)
            command += L" --layouts \"" + moduleFolder() + L"render_layouts.lz\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &info))
            return 0xFFFFFFFF;
        win::unique_handle process(info.hProcess), thread(info.hThread);
        WaitForSingleObject(process.get(), 60000);
        DWORD code = 0xFFFFFFFE;
        GetExitCodeProcess(process.get(), &code);
        return code;
    }

    Picture picture() const {
        Picture p;
        win::unique_file file(
            CreateFileW(out_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!file)
            return p;
        std::string bytes(GetFileSize(file.get(), nullptr), '\0');
        DWORD got = 0;
        ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
        int channels = 0;
        unsigned char* rgba = stbi_load_from_memory(reinterpret_cast<const unsigned char*>(bytes.data()),
                                                    static_cast<int>(got), &p.width, &p.height, &channels, 4);
        if (!rgba)
            return Picture{};
        p.rgb.resize(static_cast<std::size_t>(p.width) * p.height);
        for (std::size_t i = 0; i < p.rgb.size(); ++i)
            p.rgb[i] = uint32_t(rgba[i * 4]) << 16 | uint32_t(rgba[i * 4 + 1]) << 8 | rgba[i * 4 + 2];
        stbi_image_free(rgba);
        return p;
    }

    std::wstring out_;
};

// Colours of the test skin (skin/make-images.sh).
constexpr uint32_t kButtonUp = 0x3A7BD5, kButtonOver = 0x5A97E8, kButtonDisabled = 0xB4B9C0;

}  // namespace

TEST_F(PreviewTool, PaintsTheLayoutWithTheEmbeddedSkinAtItsInitialSize) {
    ASSERT_EQ(run(L"--entry canvas.xml"), 0u);
    const Picture p = picture();
    ASSERT_EQ(p.width, 200);
    ASSERT_EQ(p.height, 100);
    EXPECT_EQ(p.at(2, 2), 0xFFFFFFu) << "background outside every control";
    EXPECT_EQ(p.at(50, 16), kButtonUp) << "button face, nine-grid centre";
    EXPECT_EQ(p.at(150, 16), kButtonDisabled) << "enabled=\"0\" picks the disabled skin";
    EXPECT_GT(p.bright(30, 15, 70, 35, 0xD0), 30) << "the white caption in the middle of the button";
    EXPECT_EQ(p.count(40, 60, 190, 90, 0xFFFFFF), 150 * 30) << "a missing style draws nothing";
    EXPECT_EQ(p.at(14, 62), 0xFFFFFFu) << "check strip frame 0: an empty white box";
    EXPECT_EQ(p.at(9, 9), 0xFFFFFFu);
}

TEST_F(PreviewTool, FlagsSizeAndBackgroundOptionsChangeThePicture) {
    ASSERT_EQ(run(L"--entry canvas.xml --flags 1=0x13 --flags 4=0x4003 --background 102030"), 0u);
    Picture p = picture();
    ASSERT_EQ(p.width, 200);
    EXPECT_EQ(p.at(50, 16), kButtonOver) << "hovered";
    EXPECT_EQ(p.at(14, 62), kButtonUp) << "checked: frame 4 of the strip";
    EXPECT_EQ(p.at(2, 2), 0x102030u);

    ASSERT_EQ(run(L"--entry canvas.xml --size 100x50"), 0u);
    p = picture();
    EXPECT_EQ(p.width, 100);
    EXPECT_EQ(p.height, 50);
    EXPECT_EQ(p.at(50, 16), kButtonUp);
}

TEST_F(PreviewTool, RefusesBadArgumentsAndMissingInput) {
    EXPECT_EQ(run(L"", false), 2u);
    EXPECT_EQ(run(L"--entry canvas.xml --size 0x10"), 2u);
    EXPECT_EQ(run(L"--entry canvas.xml --colour red"), 2u);
    EXPECT_EQ(run(L"--entry no-such-entry.xml"), 3u);
    EXPECT_EQ(run(L"--entry canvas.xml --skin Z:\\no\\such\\style.lz"), 3u);
    EXPECT_EQ(GetFileAttributesW(out_.c_str()), INVALID_FILE_ATTRIBUTES) << "nothing written";
    // The installer's own layouts are embedded too.
    EXPECT_EQ(run(L"--entry sample_panels.xml", false), 0u);
    EXPECT_EQ(picture().width, 400);
}

using LayoutText = SkinTest;

TEST_F(LayoutText, NonAsciiNamesAndValuesSurviveTheLoader) {
    // U+5F00 has the low byte of a terminator, U+4E22 that of a double quote, U+3000 is not XML space.
    const char xml[] =
        "<Grid text=\"\xE5\xBC\x80\xE4\xB8\xA2 \xE3\x80\x80x\" style=\"\xE4\xB8\xA2.xml\">"
        "<Grid tooltip=\"\xE5\xBC\x80\"/></Grid>";
    std::unique_ptr<Control> root(buildLayout(xml, sizeof(xml) - 1));
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->getText(attr::text), L"\u5F00\u4E22 \u3000x");
    EXPECT_STREQ(root->getText(attr::style), L"\u4E22.xml");
    ASSERT_NE(root->firstChild(), nullptr);
    EXPECT_STREQ(root->firstChild()->getText(attr::tooltip), L"\u5F00");
}
