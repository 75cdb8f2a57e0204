#include "render_fixture.h"

#include <cstdlib>
#include <cstring>

#include "dui/style.h"
#include "dui/context_parts.h"
#include "host/ui_context.h"
#include "archive_builder.h"
#include "png_writer.h"

namespace rendertest {

namespace {
std::unique_ptr<SkinStore> g_ownedSkin;  // when the context did not bring its own
}  // namespace

std::string packArchive(const std::map<std::wstring, std::string>& entries) {
    packtest::ArchiveBuilder builder;
    for (const auto& [name, content] : entries)
        builder.stored(std::u16string(name.begin(), name.end()), packtest::bytesOf(content));
    const packtest::Bytes block = builder.finish();
    return std::string(block.begin(), block.end());
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
    if (!currentSkin()) {
        g_ownedSkin = std::make_unique<SkinStore>(styleFactory());
        setCurrentSkin(g_ownedSkin.get());
    }
    ASSERT_NE(uiContext()->alphaBlend, nullptr) << "msimg32's AlphaBlend should be found under Wine";
}

void SkinTest::TearDown() {
    if (currentSkin())
        currentSkin()->clearSkin();
}

void SkinTest::loadSkin(const std::map<std::wstring, std::string>& entries) {
    const std::string block = packArchive(entries);
    void* bytes = std::malloc(block.size());
    std::memcpy(bytes, block.data(), block.size());
    ASSERT_TRUE(skin().loadSkinArchive(bytes, block.size(), nullptr));
}

SkinStore& SkinTest::skin() {
    return *currentSkin();
}

}  // namespace rendertest
