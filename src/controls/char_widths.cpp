#include "controls/char_widths.h"

#include <algorithm>

namespace textinput {

bool CharWidths::setFont(HFONT source) {
    dc_.reset();
    font_.reset();
    for (auto& page : pages_) page.reset();
    metrics_ = TEXTMETRICW{};

    LOGFONTW logFont{};
    if (!source || GetObjectW(source, sizeof(logFont), &logFont) != sizeof(logFont))
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(logFont), &logFont);
    font_.reset(CreateFontIndirectW(&logFont));
    dc_.reset(CreateCompatibleDC(nullptr));
    if (!dc_)
        return false;
    // Selected for the DC's whole life; the DC is deleted before the font (member order).
    if (font_)
        SelectObject(dc_.get(), font_.get());
    GetTextMetricsW(dc_.get(), &metrics_);
    return true;
}

int CharWidths::measure(wchar_t c) const {
    if (!dc_)
        return 0;
    INT width = 0;
    if (!GetCharWidth32W(dc_.get(), c, c, &width))
        return 0;
    return std::max(0, static_cast<int>(width));
}

int CharWidths::unitWidth(wchar_t c) {
    if (c == L'\t')
        return 4 * unitWidth(L' ');
    auto& page = pages_[c / kPageSize];
    if (!page) {
        page.reset(new int16_t[kPageSize]);
        std::fill(page.get(), page.get() + kPageSize, int16_t{-1});
    }
    int16_t& slot = page[c % kPageSize];
    if (slot < 0)
        slot = static_cast<int16_t>(std::min(measure(c), 0x7FFF));
    return slot;
}

int CharWidths::pairWidth(wchar_t high, wchar_t low) {
    if (!dc_)
        return 0;
    // GetCharWidth32W takes single units; a character outside the basic plane is measured whole.
    const wchar_t pair[2] = {high, low};
    SIZE size{0, 0};
    if (!GetTextExtentPoint32W(dc_.get(), pair, 2, &size))
        return 0;
    return std::max(0, static_cast<int>(size.cx));
}

}  // namespace textinput
