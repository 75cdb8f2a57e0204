// Scrolling: ScrollBar (with its repeat timer ScrollTimer) and ScrollPanel, a container that shows its
// first child as content and adds bars when the content does not fit. A bar moves nothing by itself:
// it raises Notify requests, its owner answers them with a new position through EnsurePosition, and
// the bar then tells its parent panel, which moves the content. UI thread only.
#pragma once

#include <windows.h>
#include <cstdint>

#include "dui/panels.h"
#include "dui/style.h"
#include "window/timer.h"

class ScrollBar;

// Notify requests of a scroll bar (wParam of the Notify event; lParam is 0 except for a thumb drag).
namespace scrollRequest {
constexpr int32_t lineBack = 2;     // one step up or left
constexpr int32_t lineForward = 3;  // one step down or right
constexpr int32_t pageBack = 4;
constexpr int32_t pageForward = 5;
constexpr int32_t thumbDrag = 6;  // lParam: the position under the dragged thumb
}  // namespace scrollRequest

// Repeats the held part's request: once at once, then every 100 ms while it runs.
class ScrollTimer : public Timer {
  public:
    explicit ScrollTimer(ScrollBar& bar) : Timer(100), bar_(bar) {}
    void tick() override;

  private:
    ScrollBar& bar_;
};

class ScrollBar : public Control, public StyleParts {
  public:
    // Hit-test parts; as pressed bits of the part state they are the same values, as hover bits the
    // values divided by 16.
    static constexpr uint32_t kUpArrow = 0x10, kDownArrow = 0x20, kThumb = 0x40;
    static constexpr uint32_t kTrackBefore = 0x1000, kTrackAfter = 0x2000;
    static constexpr uint32_t kPressedParts = kUpArrow | kDownArrow | kThumb | kTrackBefore | kTrackAfter;
    static constexpr int32_t kMinThumbLength = 20;
    // The style used when the bar has no "style" attribute, for both orientations.
    static constexpr const wchar_t* kDefaultStyle = L"vscrollbar.xml";

    ScrollBar();
    ~ScrollBar() override;

    void paint(HDC dc, const RECT& rect, const RECT& clip) override;
    // Places the arrow rectangles from the sizes of the style's arrow images; answers the size given.
    SIZE arrange(SIZE finalSize) override;
    // Accessibility: a scroll bar whose value is its position in pixels. A click acts where the pointer
    // is, so there is no default action.
    int32_t accessibleRole() const override;
    bool accessibleValue(std::wstring* value) const override;
    const wchar_t* defaultActionName() const override { return nullptr; }
    bool doDefaultAction() override { return false; }

    // Enabled exactly when page < total; the position is limited to 0 .. total - page. A change moves
    // the owner's content (through the parent panel) and repaints. On a bar that is not attached it
    // writes a debugger message and changes nothing.
    void EnsurePosition(int32_t position);

    // Raw values; EnsurePosition applies them.
    void setTotal(int32_t total) { total_ = total; }
    void setPage(int32_t page) { page_ = page; }
    void setVertical(bool vertical) { vertical_ = vertical; }
    int32_t total() const { return total_; }
    int32_t page() const { return page_; }
    int32_t position() const { return position_; }
    bool vertical() const { return vertical_; }
    uint32_t state() const { return state_; }
    bool timerRunning() const { return timer_.running(); }

    // Geometry, control-local. The track runs between the arrows; the thumb is only meaningful while
    // page < total.
    int32_t trackStart() const;
    int32_t trackLength() const;
    int32_t thumbLength() const;
    // The part under a control-local point (0 for none).
    uint32_t hitPart(POINT local) const;

    // StyleParts.
    RECT thumbRect() const override;
    RECT upArrowRect() const override { return upArrow_; }
    RECT downArrowRect() const override { return downArrow_; }
    uint32_t partStates() const override { return state_; }

  private:
    friend class ScrollTimer;
    void onTick();
    void raiseNotify(int32_t request, int64_t value);
    bool draggingThumb() const { return hasFlag(flag::pressed) && (state_ & kThumb); }
    int32_t along(POINT p) const { return vertical_ ? p.y : p.x; }
    const wchar_t* styleName() const;

    static void onLButtonDown(void* self, Control*, EventRecord&);
    static void onMouseMove(void* self, Control*, EventRecord&);
    static void onLostCapture(void* self, Control*, EventRecord&);
    static void onMouseLeave(void* self, Control*, EventRecord&);

    int32_t total_ = 0;
    int32_t position_ = 0;
    int32_t page_ = 0;
    bool vertical_ = true;
    uint32_t state_ = 0;
    int32_t grabOffset_ = 0;
    RECT upArrow_{0, 0, 0, 0};
    RECT downArrow_{0, 0, 0, 0};
    ScrollTimer timer_{*this};
};

// A container whose first child is the content; bars are further children, made again on every
// arrange with their positions kept. "scrollvertical" (default auto) and "scrollhorizontal" (default
// never) hold the keywords auto, always or never. Bar requests and the mouse wheel move the content.
class ScrollPanel : public Panel {
  public:
    static constexpr int32_t kDefaultBarSize = 17;
    // A plain panel's step for an arrow request; the wheel moves two steps per notch.
    static constexpr int32_t kLineStep = 20;

    ScrollPanel();

    SIZE arrange(SIZE finalSize) override;

    // A new bar, owned by the caller.
    virtual ScrollBar* createScrollBar();
    // Width of "barSkin"'s image in the style "vscrollbar.xml", 17 without one.
    virtual int32_t verticalBarWidth() const;
    // Height of "barSkin"'s image in the style "hscrollbar.xml", 17 without one.
    virtual int32_t horizontalBarHeight() const;

    // The first child that is not one of the bars, or null.
    Control* content() const;
    ScrollBar* verticalBar() const { return vertical_; }
    ScrollBar* horizontalBar() const { return horizontal_; }
    // The content's arranged rectangle before scrolling.
    const RECT& contentRect() const { return contentRect_; }

    // Called by a bar's EnsurePosition: moves the content by the bar's position and repaints.
    void scrollPositionChanged(const ScrollBar& bar);

  protected:
    // The position a bar's Notify request asks for; the panel's own arithmetic steps by kLineStep
    // and by the bar's page.
    virtual int32_t requestedPosition(const ScrollBar& bar, int32_t request, int64_t value) const;
    // How far one wheel step of 60 moves the content.
    virtual int32_t wheelStep() const { return kLineStep; }

  private:
    static void onBarNotify(void* self, Control* sender, EventRecord& event);
    static void onMouseWheel(void* self, Control* sender, EventRecord& event);
    ScrollBar* makeBar(bool vertical);
    void dropBars();

    ScrollBar* vertical_ = nullptr;    // a child, or null
    ScrollBar* horizontal_ = nullptr;  // a child, or null
    RECT contentRect_{0, 0, 0, 0};
};
