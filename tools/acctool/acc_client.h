// The client side of Microsoft Active Accessibility for acctool: elements of a window's accessible
// tree, what they say about themselves, and the one-line UTF-16 description acctool prints. The
// calling thread must have initialised COM; every call may pump COM's messages while it waits for the
// window's process.
#pragma once

#include <windows.h>
#include <oleacc.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/handles.h"

namespace acc {

// One element: an accessible object, or a simple element inside one (child id other than
// CHILDID_SELF).
struct Element {
    win::com_ptr<IAccessible> object;
    LONG child = CHILDID_SELF;

    Element share() const;  // a second reference to the same element
    VARIANT childVariant() const;
};

// What an element says about itself; fields stay empty where it answers nothing.
struct Facts {
    LONG role = 0;
    std::wstring roleName;  // "pushbutton", "checkbutton", ... (the ROLE_SYSTEM_ name in lower case)
    std::wstring layoutId;  // from a help text "id=N"; empty without one
    std::wstring name;
    uint32_t state = 0;
    bool hasValue = false;
    std::wstring value;
    std::wstring action;    // the default action's name
    RECT rect{0, 0, 0, 0};  // screen coordinates, right and bottom exclusive
};

// A top-level window with exactly this title and/or class (null: not compared): a visible one first
// and, when no title is asked for, a titled one first; null when none exists.
HWND findTopLevel(const wchar_t* title, const wchar_t* className);
// The window's client object; false when the window answers none.
bool clientElement(HWND window, Element* out);
// Children in order (empty for simple elements and on failure).
std::vector<Element> children(const Element& element);
Facts describe(const Element& element);

// "pushbutton id=5 name=\"OK\" state=focusable,hottracked value=\"..\" action=\"Press\" rect=l,t,r,b";
// value and action only when the element has them, "id=-" and "state=-" when empty.
std::wstring describeLine(const Facts& facts);

// State names ("checked", "!focused", ...) as bits; false with the bad name in `bad`.
bool parseStates(const std::wstring& list, uint32_t* required, uint32_t* forbidden, std::wstring* bad);
std::wstring stateNames(uint32_t state);  // comma-separated, "-" for none
std::wstring roleName(LONG role);

}  // namespace acc
