// Text output with DrawTextW. UI thread only. A null font leaves the DC's current font in place.
#pragma once

#include <windows.h>

// DrawTextW(dc, text, -1, rect, format) in colour (0x00BBGGRR); the DC's text colour is put back after.
void drawText(HDC dc, const RECT& rect, const wchar_t* text, COLORREF colour, UINT format);
// As drawText with font selected for the call; the previous font is selected again afterwards.
void drawTextWithFont(HDC dc, const RECT& rect, const wchar_t* text, HFONT font, COLORREF colour,
                      UINT format);
// The process-wide memory DC kept for measuring text: created on first use, alive until process exit.
HDC textMeasureDC();
