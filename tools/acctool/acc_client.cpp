#include "acc_client.h"

#include <cwctype>
#include <iterator>

namespace acc {

namespace {

struct Named {
    DWORD value;
    const wchar_t* name;
};

#define ROLE(n) \
    { ROLE_SYSTEM_##n, L## #n }
const Named kRoles[] = {
    ROLE(TITLEBAR),     ROLE(MENUBAR),
    ROLE(SCROLLBAR),    ROLE(GRIP),
    ROLE(SOUND),        ROLE(CURSOR),
    ROLE(CARET),        ROLE(ALERT),
    ROLE(WINDOW),       ROLE(CLIENT),
    ROLE(MENUPOPUP),    ROLE(MENUITEM),
    ROLE(TOOLTIP),      ROLE(APPLICATION),
    ROLE(DOCUMENT),     ROLE(PANE),
    ROLE(CHART),        ROLE(DIALOG),
    ROLE(BORDER),       ROLE(GROUPING),
    ROLE(SEPARATOR),    ROLE(TOOLBAR),
    ROLE(STATUSBAR),    ROLE(TABLE),
    ROLE(COLUMNHEADER), ROLE(ROWHEADER),
    ROLE(COLUMN),       ROLE(ROW),
    ROLE(CELL),         ROLE(LINK),
    ROLE(HELPBALLOON),  ROLE(CHARACTER),
    ROLE(LIST),         ROLE(LISTITEM),
    ROLE(OUTLINE),      ROLE(OUTLINEITEM),
    ROLE(PAGETAB),      ROLE(PROPERTYPAGE),
    ROLE(INDICATOR),    ROLE(GRAPHIC),
    ROLE(STATICTEXT),   ROLE(TEXT),
    ROLE(PUSHBUTTON),   ROLE(CHECKBUTTON),
    ROLE(RADIOBUTTON),  ROLE(COMBOBOX),
    ROLE(DROPLIST),     ROLE(PROGRESSBAR),
    ROLE(DIAL),         ROLE(HOTKEYFIELD),
    ROLE(SLIDER),       ROLE(SPINBUTTON),
    ROLE(DIAGRAM),      ROLE(ANIMATION),
    ROLE(EQUATION),     ROLE(BUTTONDROPDOWN),
    ROLE(BUTTONMENU),   ROLE(BUTTONDROPDOWNGRID),
    ROLE(WHITESPACE),   ROLE(PAGETABLIST),
    ROLE(CLOCK),        ROLE(SPLITBUTTON),
    ROLE(IPADDRESS),    ROLE(OUTLINEBUTTON),
};
#undef ROLE

#define STATE(n) \
    { STATE_SYSTEM_##n, L## #n }
const Named kStates[] = {
    STATE(UNAVAILABLE),   STATE(SELECTED),   STATE(FOCUSED),      STATE(PRESSED),    STATE(CHECKED),
    STATE(MIXED),         STATE(READONLY),   STATE(HOTTRACKED),   STATE(DEFAULT),    STATE(EXPANDED),
    STATE(COLLAPSED),     STATE(BUSY),       STATE(FLOATING),     STATE(MARQUEED),   STATE(ANIMATED),
    STATE(INVISIBLE),     STATE(OFFSCREEN),  STATE(SIZEABLE),     STATE(MOVEABLE),   STATE(SELFVOICING),
    STATE(FOCUSABLE),     STATE(SELECTABLE), STATE(LINKED),       STATE(TRAVERSED),  STATE(MULTISELECTABLE),
    STATE(EXTSELECTABLE), STATE(ALERT_LOW),  STATE(ALERT_MEDIUM), STATE(ALERT_HIGH), STATE(PROTECTED),
    STATE(HASPOPUP),
};
#undef STATE

std::wstring lower(const wchar_t* text) {
    std::wstring out(text);
    for (wchar_t& c : out) c = static_cast<wchar_t>(std::towlower(c));
    return out;
}

std::wstring text(const win::unique_bstr& value) {
    return value ? std::wstring(value.get(), SysStringLen(value.get())) : std::wstring();
}

// A quoted text with backslash, quote, carriage return and line feed escaped.
std::wstring quoted(const std::wstring& value) {
    std::wstring out = L"\"";
    for (wchar_t c : value) {
        if (c == L'"' || c == L'\\')
            out += L'\\';
        out += c == L'\n' ? std::wstring(L"\\n") : c == L'\r' ? std::wstring(L"\\r") : std::wstring(1, c);
    }
    return out + L"\"";
}

BOOL CALLBACK collectWindow(HWND window, LPARAM context) {
    reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
    return TRUE;
}

bool sameText(HWND window, const wchar_t* expected, bool className) {
    if (!expected)
        return true;
    wchar_t buffer[512];
    const int length = className ? GetClassNameW(window, buffer, static_cast<int>(std::size(buffer)))
                                 : GetWindowTextW(window, buffer, static_cast<int>(std::size(buffer)));
    return std::wstring(buffer, length > 0 ? static_cast<size_t>(length) : 0) == expected;
}

}  // namespace

Element Element::share() const {
    Element copy;
    if (object) {
        object->AddRef();
        *copy.object.put() = object.get();
    }
    copy.child = child;
    return copy;
}

VARIANT Element::childVariant() const {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = child;
    return v;
}

HWND findTopLevel(const wchar_t* title, const wchar_t* className) {
    std::vector<HWND> windows;
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&windows));
    // Best first: visible and (when no title is asked for) titled, then visible, then hidden.
    HWND best = nullptr;
    int bestRank = 3;
    for (HWND window : windows) {
        if (!sameText(window, title, false) || !sameText(window, className, true))
            continue;
        const bool visible = IsWindowVisible(window) != FALSE;
        const bool titled = title || GetWindowTextLengthW(window) > 0;
        const int rank = visible ? (titled ? 0 : 1) : 2;
        if (rank < bestRank) {
            best = window;
            bestRank = rank;
        }
    }
    return best;
}

bool clientElement(HWND window, Element* out) {
    out->child = CHILDID_SELF;
    HRESULT hr = AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                            out->object.put_void());
    return SUCCEEDED(hr) && out->object;
}

std::vector<Element> children(const Element& element) {
    std::vector<Element> out;
    long count = 0;
    if (element.child != CHILDID_SELF || FAILED(element.object->get_accChildCount(&count)) || count <= 0)
        return out;
    // AccessibleChildren fills plain VARIANTs; each is cleared here once its element is taken.
    std::vector<VARIANT> raw(static_cast<size_t>(count));
    for (VARIANT& v : raw) VariantInit(&v);
    LONG got = 0;
    if (SUCCEEDED(AccessibleChildren(element.object.get(), 0, count, raw.data(), &got))) {
        for (LONG i = 0; i < got && i < count; ++i) {
            VARIANT& v = raw[static_cast<size_t>(i)];
            Element child;
            if (v.vt == VT_DISPATCH && v.pdispVal) {
                if (SUCCEEDED(v.pdispVal->QueryInterface(__uuidof(IAccessible), child.object.put_void())))
                    out.push_back(std::move(child));
            } else if (v.vt == VT_I4) {
                child = element.share();
                child.child = v.lVal;
                out.push_back(std::move(child));
            }
        }
    }
    for (VARIANT& v : raw) VariantClear(&v);
    return out;
}

Facts describe(const Element& element) {
    Facts facts;
    IAccessible* object = element.object.get();
    if (!object)
        return facts;
    const VARIANT self = element.childVariant();
    {
        win::unique_variant role;
        if (SUCCEEDED(object->get_accRole(self, role.put()))) {
            if (role.get().vt == VT_I4) {
                facts.role = role.get().lVal;
                facts.roleName = roleName(facts.role);
            } else if (role.get().vt == VT_BSTR && role.get().bstrVal) {
                facts.roleName = role.get().bstrVal;
            }
        }
    }
    {
        win::unique_variant state;
        if (SUCCEEDED(object->get_accState(self, state.put())) && state.get().vt == VT_I4)
            facts.state = static_cast<uint32_t>(state.get().lVal);
    }
    win::unique_bstr value;
    if (object->get_accName(self, value.put()) == S_OK)
        facts.name = text(value);
    if (SUCCEEDED(object->get_accValue(self, value.put()))) {  // S_FALSE: a value that is empty
        facts.hasValue = true;
        facts.value = text(value);
    }
    if (object->get_accDefaultAction(self, value.put()) == S_OK)
        facts.action = text(value);
    if (object->get_accHelp(self, value.put()) == S_OK) {
        const std::wstring help = text(value);
        if (help.rfind(L"id=", 0) == 0)
            facts.layoutId = help.substr(3);
    }
    long left = 0, top = 0, width = 0, height = 0;
    if (SUCCEEDED(object->accLocation(&left, &top, &width, &height, self)))
        facts.rect = RECT{left, top, left + width, top + height};
    return facts;
}

std::wstring describeLine(const Facts& facts) {
    std::wstring line = facts.roleName.empty() ? L"?" : facts.roleName;
    line += L" id=" + (facts.layoutId.empty() ? std::wstring(L"-") : facts.layoutId);
    line += L" name=" + quoted(facts.name);
    line += L" state=" + stateNames(facts.state);
    if (facts.hasValue)
        line += L" value=" + quoted(facts.value);
    if (!facts.action.empty())
        line += L" action=" + quoted(facts.action);
    line += L" rect=" + std::to_wstring(facts.rect.left) + L"," + std::to_wstring(facts.rect.top) + L"," +
            std::to_wstring(facts.rect.right) + L"," + std::to_wstring(facts.rect.bottom);
    return line;
}

std::wstring roleName(LONG role) {
    for (const Named& r : kRoles) {
        if (r.value == static_cast<DWORD>(role))
            return lower(r.name);
    }
    return std::to_wstring(role);
}

std::wstring stateNames(uint32_t state) {
    std::wstring out;
    for (const Named& s : kStates) {
        if (state & s.value)
            out += (out.empty() ? L"" : L",") + lower(s.name);
    }
    return out.empty() ? L"-" : out;
}

bool parseStates(const std::wstring& list, uint32_t* required, uint32_t* forbidden, std::wstring* bad) {
    *required = *forbidden = 0;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(L',', start);
        if (end == std::wstring::npos)
            end = list.size();
        std::wstring item = list.substr(start, end - start);
        start = end + 1;
        if (item.empty())
            continue;
        const bool negated = item[0] == L'!';
        if (negated)
            item.erase(0, 1);
        uint32_t bit = 0;
        for (const Named& s : kStates) {
            if (lower(s.name) == item)
                bit = s.value;
        }
        if (!bit) {
            *bad = item;
            return false;
        }
        (negated ? *forbidden : *required) |= bit;
    }
    return true;
}

}  // namespace acc
