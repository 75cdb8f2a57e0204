// ComboBox: shows the chosen entry in its "text"; a press opens a drop-down list (ComboHelperWnd)
// below it, or above it when the screen ends too soon, and the user chooses with the mouse or with
// Up, Down and Enter (Escape cancels). The entries are the child elements written inside the
// "ComboBox" element of a layout (each entry's "text" is what choosing it shows), or whatever addItem
// is given. UI thread only.
#pragma once

#include <windows.h>
#include <cstdint>

#include "controls/listbox.h"
#include "dui/control.h"
#include "dui/loader.h"
#include "window/window_impl.h"

class ComboBox;

// The drop-down: a hidden tool popup made with its combo box, shown only while open. Opening runs a
// message loop of its own, so the call that opens it returns after it closed. The window belongs to
// itself like every window (deleted on WM_DESTROY); the combo box closes it when it dies.
class ComboHelperWnd : public WindowImpl {
  public:
    static constexpr int32_t kItemHeight = 24;
    static constexpr int32_t kMaxHeight = 148;
    static constexpr const wchar_t* kBackgroundStyle = L"ComboDropped_Bkgnd.xml";

    explicit ComboHelperWnd(ComboBox* owner);

    // Focus moves stay inside: losing the system focus leaves the list focused.
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Sizes the popup for its items (at most kMaxHeight), shows it at the screen point and pumps the
    // thread's messages until an entry is chosen, the drop-down is cancelled or loses activation, or
    // the quit message arrives (which is posted again for the loop outside). Hidden afterwards.
    void open(int x, int y, int width, bool below);
    // The popup's height for a number of entries.
    static int32_t heightFor(int32_t itemCount);

    ListBox* list() const { return list_; }
    bool isOpen() const { return running_; }
    bool openedBelow() const { return openedBelow_; }
    ComboBox* owner() const { return combo_; }
    // The combo box is going away: nothing is reported to it any more.
    void forgetOwner() { combo_ = nullptr; }

  private:
    void choose();
    void requestClose() { closeRequested_ = true; }
    static void onListNotify(void* self, Control*, EventRecord&);
    static void onPrevKeyDown(void* self, Control*, EventRecord& event);
    static void onKeyDown(void* self, Control*, EventRecord& event);

    ComboBox* combo_;  // not owned; null once the combo box is gone
    ListBox* list_;    // inside the root
    bool closeRequested_ = false;
    bool openedBelow_ = true;
    bool running_ = false;
};

class ComboBox : public Control, public ItemOwner {
  public:
    static constexpr const wchar_t* kDefaultStyle = L"combobox.xml";

    // Also makes the hidden drop-down window.
    ComboBox();
    // Closes the drop-down window (posted WM_CLOSE).
    ~ComboBox() override;

    void paint(HDC dc, const RECT& rect, const RECT& clip) override;

    // Appends an entry to the drop-down list (owned from now on); false without a drop-down window.
    bool addItem(Control* item) override;
    int32_t itemCount() const;
    // The drop-down, null when its window is gone or could not be made.
    ComboHelperWnd* dropDown() const;

    // Stores `text` when it differs from the "text" attribute, repaints and raises ValueChange.
    void setChosenText(const wchar_t* text);
    // Opens the drop-down for the combo's place on the screen; returns after it closed. Nothing
    // happens without entries or when the combo box is not attached.
    void openDropDown();

    // Accessibility: a combo box named by its tooltip, whose value is the chosen entry and whose
    // default action opens the drop-down (as a press does).
    int32_t accessibleRole() const override;
    std::wstring accessibleName() const override;
    bool accessibleValue(std::wstring* value) const override;
    uint32_t accessibleState() const override;
    const wchar_t* defaultActionName() const override;
    bool doDefaultAction() override;

    // Where a drop-down for `count` entries opens for a combo box at `screen` (its rectangle in screen
    // coordinates): below it when it fits above the screen's bottom, else above it.
    static POINT dropDownOrigin(const RECT& screen, int32_t count, int32_t screenHeight, bool* below);

  protected:
    // The "text" is the value (told by ValueChange), not the name.
    void textChanged(AttributeId id) override;

  private:
    static void onLButtonDown(void* self, Control*, EventRecord&);

    HWND popup_ = nullptr;  // the drop-down's window; its object is found through it
};
