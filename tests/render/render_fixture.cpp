#include "render_fixture.h"

#include <cstdlib>
#include <cstring>

#include "dui/style.h"
#include "dui/context_parts.h"
#include "host/ui_context.h"
#include "png_writer.h"

namespace rendertest {

namespace {
void put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
constexpr uint32_t kKey = 0x5A17C3E9u;
std::unique_ptr<SkinStore> g_ownedSkin;  // when the context did not bring its own
}  // namespace

std::string packArchive(const std::map<std::wstring, std::string>& entries) {
    std::string block;
    std::string directory;
    for (const auto& [name, content] : entries) {
        const uint32_t offset = static_cast<uint32_t>(block.size());
        block += content;
        std::vector<uint16_t> units(name.begin(), name.end());
        units.push_back(0);
        if (units.size() % 2)
            units.push_back(0);
        std::string area;
        for (std::size_t i = 0; i < units.size(); i += 2) put32(area, (units[i] | units[i + 1] << 16) ^ kKey);
        put32(directory, static_cast<uint32_t>(16 + area.size()));
        put32(directory, offset);
        put32(directory, static_cast<uint32_t>(content.size()));
        put32(directory, 0);
        directory += area;
    }
    const uint32_t directoryOffset = static_cast<uint32_t>(block.size());
    block += directory;
    put32(block, 0);
    put32(block, directoryOffset ^ kKey);
    return block;
}

Rgba::Rgba(int w, int h, uint32_t rgba) : width(w), height(h), bytes(static_cast<std::size_t>(w) * h * 4) {
    fill(0, 0, w, h, rgba);
}

void Rgba::set(int x, int y, uint32_t rgba) {
    uint8_t* p = &bytes[(static_cast<std::size_t>(y) * width + x) * 4];
    p[0] = rgba >> 24;
    p[1] = rgba >> 16;
    p[2] = rgba >> 8;
    p[3] = rgba;
}

void Rgba::fill(int x, int y, int w, int h, uint32_t rgba) {
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i) set(i, j, rgba);
}

std::string Rgba::png() const {
    return encodePng(width, height, bytes.data());
}

uint32_t pixel(const PaintSurface& surface, int x, int y) {
    GdiFlush();
    DIBSECTION section{};
    if (GetObjectW(surface.bitmap(), sizeof(section), &section) != sizeof(section))
        return 0xDEADBEEF;
    return static_cast<const uint32_t*>(section.dsBm.bmBits)[y * surface.width() + x];
}

void fillSurface(PaintSurface& surface, uint32_t word) {
    GdiFlush();
    DIBSECTION section{};
    GetObjectW(surface.bitmap(), sizeof(section), &section);
    auto bits = static_cast<uint32_t*>(section.dsBm.bmBits);
    for (int i = 0; i < surface.width() * surface.height(); ++i) bits[i] = word;
}

void SkinTest::SetUp() {
    if (!uiContext()) {
        ASSERT_TRUE(createUiContextWithParts());
    }
    UiContext* ui = uiContext();
    if (!ui->skin) {
        g_ownedSkin = std::make_unique<SkinStore>(styleFactory());
        ui->skin = g_ownedSkin.get();
    }
    ASSERT_NE(ui->alphaBlend, nullptr) << "msimg32's AlphaBlend should be found under Wine";
}

void SkinTest::TearDown() {
    if (uiContext() && uiContext()->skin)
        uiContext()->skin->clearSkin();
}

void SkinTest::loadSkin(const std::map<std::wstring, std::string>& entries) {
    const std::string block = packArchive(entries);
    void* bytes = std::malloc(block.size());
    std::memcpy(bytes, block.data(), block.size());
    ASSERT_TRUE(skin().loadSkinArchive(bytes, block.size(), nullptr));
}

SkinStore& SkinTest::skin() {
    return *uiContext()->skin;
}

}  // namespace rendertest
