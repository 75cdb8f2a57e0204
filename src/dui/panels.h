// Containers and the layout protocol: measure then arrange, with margins, explicit width/height and
// alignment applied around each control's own measure/arrange. A panel owns its children. UI thread
// only; layout of a control that is not live answers zero sizes and bounds.
#pragma once

#include "dui/control.h"

// The length that stands for "unlimited" when a panel measures its children.
constexpr int32_t kUnlimitedLength = 65536;

// Measures `control` in the available size, stores and answers its desired size (margins included).
SIZE measureControl(Control* control, SIZE available);
// Places `control` in `slot` (parent coordinates) and sets its bounds.
void arrangeControl(Control* control, const RECT& slot);

// Paints one child of a container whose own rectangle is `parentRect` (surface coordinates): nothing
// when the child is hidden or collapsed or its moved bounds miss `clip`; otherwise the child paints
// clipped to that intersection and its changes to the DC are undone afterwards.
void paintChild(Control* child, HDC dc, const RECT& parentRect, const RECT& clip);

class Panel : public Control {
  public:
    Panel() : Control(flag::kPanelInitial) {}
    // Destroys the children, last to first.
    ~Panel() override;

    void paint(HDC dc, const RECT& rect, const RECT& clip) override;
    Control* hitTest(POINT point) override;
    const wchar_t* typeName() const override { return L"Panel"; }

    // Appends `child` (owned from now on); attaches it when the panel is attached.
    void addChild(Control* child);
    // Unlinks one of this panel's children, detaching it first when attached, and hands it back to
    // the caller, who owns it from now on. Null (nothing happens) when `child` is not a child here.
    Control* removeChild(Control* child);
    // Null when the index is beyond the end.
    Control* childAt(int32_t index) const;
    Control* firstChild() const override { return first_; }
    Control* lastChild() const { return last_; }
    int32_t childCount() const { return count_; }

  protected:
    // Makes `control` name this panel as its parent without joining the child list: a control the
    // panel shows and lays out but does not own (a tab's page). Its bounds are then relative to it.
    void adopt(Control* control);

  private:
    Control* first_ = nullptr;
    Control* last_ = nullptr;
    int32_t count_ = 0;
};

// Children at "x"/"y" (negative: from the right/bottom edge), each at its desired size.
class Canvas : public Panel {
  public:
    SIZE measure(SIZE available) override;
    SIZE arrange(SIZE finalSize) override;
};

// A column ("orientation" other than "horizontal") or a row.
class StackPanel : public Panel {
  public:
    SIZE measure(SIZE available) override;
    SIZE arrange(SIZE finalSize) override;
};

// Children docked at edges by "dock"; the last child fills what is left.
class DockPanel : public Panel {
  public:
    SIZE measure(SIZE available) override;
    SIZE arrange(SIZE finalSize) override;
};

// Every child in the whole area (also the class of the "Window" element).
class Grid : public Panel {
  public:
    SIZE measure(SIZE available) override;
    SIZE arrange(SIZE finalSize) override;
};

// addChild for any control: false (child untouched) when `parent` is not a container.
bool addChild(Control* parent, Control* child);
Control* childAt(const Control* parent, int32_t index);
