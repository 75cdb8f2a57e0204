// Character measuring for the text controls: a control's own copy of a skin font, selected into a
// memory DC of its own, and the pixel advance of each UTF-16 unit measured there with GetCharWidth32W
// (each unit once, then remembered). One owner per text control; UI thread only.
#pragma once

#include <windows.h>
#include <cstdint>
#include <memory>

#include "host/handles.h"

namespace textinput {

inline bool isHighSurrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
inline bool isLowSurrogate(wchar_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}
// The units below 32 and DEL (which Ctrl+Backspace types on Windows): invisible, never typed.
inline bool isControlUnit(wchar_t c) {
    return c < 32 || c == 0x7F;
}

// What the line layout needs to know about widths, so that it can be driven by a fixed table in tests.
class CharMeasure {
  public:
    // Advance of one unit; a tab is as wide as the four spaces it is drawn as.
    virtual int unitWidth(wchar_t c) = 0;
    // Advance of a surrogate pair drawn as one character.
    virtual int pairWidth(wchar_t high, wchar_t low) = 0;

  protected:
    ~CharMeasure() = default;
};

class CharWidths final : public CharMeasure {
  public:
    CharWidths() = default;
    CharWidths(const CharWidths&) = delete;
    CharWidths& operator=(const CharWidths&) = delete;

    // Makes the own font a copy of `source` (DEFAULT_GUI_FONT when null or unreadable) and a fresh
    // measuring DC with it selected; forgets every remembered width. False when no DC could be made
    // (every width then measures 0).
    bool setFont(HFONT source);

    HFONT font() const { return font_.get(); }
    HDC dc() const { return dc_.get(); }
    // Metrics of the own font (all zero before setFont).
    const TEXTMETRICW& metrics() const { return metrics_; }

    int unitWidth(wchar_t c) override;
    int pairWidth(wchar_t high, wchar_t low) override;

  private:
    static constexpr int kPageSize = 256;

    int measure(wchar_t c) const;

    // The DC is declared after the font so that it goes first: the font stays selected in it.
    win::unique_hfont font_;
    win::unique_hdc dc_;
    TEXTMETRICW metrics_{};
    std::unique_ptr<int16_t[]> pages_[65536 / kPageSize];  // widths by unit, -1 until measured
};

}  // namespace textinput
