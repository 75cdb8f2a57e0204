#include "render/text.h"

#include "host/handles.h"

void drawText(HDC dc, const RECT& rect, const wchar_t* text, COLORREF colour, UINT format) {
    if (!text)
        return;
    auto coloured = win::set_text_color(dc, colour);
    RECT r = rect;
    DrawTextW(dc, text, -1, &r, format);
}

void drawTextWithFont(HDC dc, const RECT& rect, const wchar_t* text, HFONT font, COLORREF colour,
                      UINT format) {
    auto selected = win::select_object(dc, font);
    drawText(dc, rect, text, colour, format);
}

HDC textMeasureDC() {
    static win::unique_hdc dc(CreateCompatibleDC(nullptr));
    return dc.get();
}
