// Each method resolves its control from argument 1; for a table that is not (or no longer) a
// registered control it does nothing and returns no results (getName answers "nil").
#include "script/control_methods.h"

#include <windows.h>
#include <lua.hpp>

#include <cwchar>
#include <string>

#include "controls/edit.h"
#include "controls/power_point.h"
#include "controls/progress_bar.h"
#include "controls/text_box.h"
#include "dui/control.h"
#include "dui/object.h"
#include "dui/panels.h"
#include "window/window_impl.h"
#include "sysfunc/lua_text.h"
#include "script/script_engine.h"

namespace script {

namespace {

// Stack effect: +1, the dispatcher table of argument 1 (nil when absent).
void pushDispatcher(lua_State* L) {
    lua_getglobal(L, "lua_queryControlDispatcher");
    lua_getfield(L, LUA_REGISTRYINDEX, "__control");
    lua_pushvalue(L, 1);
    callScript(L, 2, 1);
}

int getWindow(lua_State* L) {
    Control* c = controlFromSelf(L);
    if (!c)
        return 0;
    lua_getglobal(L, "lua_queryWindow");
    lua_getfield(L, LUA_REGISTRYINDEX, "__window");
    pushHandle(L, c->window());
    callScript(L, 2, 1);
    return 1;
}

template <Control* (Control::*Link)() const>
int navigate(lua_State* L) {
    Control* c = controlFromSelf(L);
    if (!c)
        return 0;
    pushControlObject(L, (c->*Link)());
    return 1;
}

template <uint32_t Mask>
int getFlag(lua_State* L) {
    Control* c = controlFromSelf(L);
    if (!c)
        return 0;
    pushBoolean(L, c->hasFlag(Mask));
    return 1;
}

int setEnabled(lua_State* L) {
    if (Control* c = controlFromSelf(L))
        c->setEnabled(lua_toboolean(L, 2) != 0);
    return 0;
}

// setFocus(): makes the control its window's focused control; nothing without a window.
int setFocus(lua_State* L) {
    Control* c = controlFromSelf(L);
    if (!c)
        return 0;
    if (auto* window = dynamic_cast<WindowImpl*>(c->window()))
        window->setFocusedControl(c);
    return 0;
}

int setVisible(lua_State* L) {
    if (Control* c = controlFromSelf(L))
        c->setVisible(lua_toboolean(L, 2) != 0);
    return 0;
}

// Sets a text attribute from argument 2; repaints when asked.
template <AttributeId Id, bool Repaint>
int setTextAttribute(lua_State* L) {
    Control* c = controlFromSelf(L);
    if (!c)
        return 0;
    std::wstring text = argText(L, 2);
    c->setText(Id, text.c_str());
    if (Repaint)
        c->invalidate(false);
    return 0;
}

int getText(lua_State* L) {
    Control* c = controlFromSelf(L);
    if (!c)
        return 0;
    pushText(L, c->getText(attr::text));
    return 1;
}

int setColor(lua_State* L) {
    Control* c = controlFromSelf(L);
    if (!c)
        return 0;
    c->setInt(attr::color, static_cast<int32_t>(argInteger(L, 2)));
    c->invalidate(false);
    return 0;
}

int repaint(lua_State* L) {
    if (Control* c = controlFromSelf(L))
        c->invalidate(false);
    return 0;
}

int getName(lua_State* L) {
    Control* c = controlFromSelf(L);
    if (!c) {
        lua_pushliteral(L, "nil");
        return 1;
    }
    pushText(L, c->typeName());
    return 1;
}

// addHandler(id, function): the first handler of an id attaches the one bridge delegate.
int addHandler(lua_State* L) {
    Control* c = controlFromSelf(L);
    if (!c)
        return 0;
    int32_t id = static_cast<int32_t>(argInteger(L, 2));
    lua_getglobal(L, "lua_addHandler");
    pushDispatcher(L);
    pushInteger(L, id);
    lua_pushvalue(L, 3);
    callScript(L, 3, 1);
    bool first = lua_toboolean(L, -1) != 0;
    lua_pop(L, 1);
    if (first)
        c->addDelegate(id, c, invokeControlHandlers);
    return 0;
}

// removeHandler(id, function): the last handler of an id detaches the bridge delegate.
int removeHandler(lua_State* L) {
    Control* c = controlFromSelf(L);
    if (!c)
        return 0;
    int32_t id = static_cast<int32_t>(argInteger(L, 2));
    lua_getglobal(L, "lua_removeHandler");
    pushDispatcher(L);
    pushInteger(L, id);
    lua_pushvalue(L, 3);
    callScript(L, 3, 1);
    bool none = lua_toboolean(L, -1) != 0;
    lua_pop(L, 1);
    if (none)
        c->removeDelegate(id, c, invokeControlHandlers);
    return 0;
}

int writeFlag(lua_State* L) {
    Control* c = controlFromSelf(L);
    if (!c)
        return 0;
    c->setFlag(1u << (argInteger(L, 2) & 31), lua_toboolean(L, 3) != 0);
    return 0;
}

int readFlag(lua_State* L) {
    Control* c = controlFromSelf(L);
    if (!c)
        return 0;
    pushBoolean(L, c->hasFlag(1u << (argInteger(L, 2) & 31)));
    return 1;
}

int setCheck(lua_State* L) {
    if (Control* c = controlFromSelf(L))
        c->setChecked(lua_toboolean(L, 2) != 0);
    return 0;
}

int getFirstChild(lua_State* L) {
    Control* c = controlFromSelf(L);
    if (!c)
        return 0;
    pushControlObject(L, c->firstChild());
    return 1;
}

int getLastChild(lua_State* L) {
    Control* c = controlFromSelf(L);
    if (!c)
        return 0;
    auto* panel = dynamic_cast<Panel*>(c);
    pushControlObject(L, panel ? panel->lastChild() : nullptr);
    return 1;
}

// getChild(index): zero-based; 0 and negative indexes answer the first child, nil past the end.
int getChildAt(lua_State* L) {
    Control* c = controlFromSelf(L);
    if (!c)
        return 0;
    Control* child = c->firstChild();
    for (int64_t i = argInteger(L, 2); child && i > 0; --i) child = child->nextSibling();
    pushControlObject(L, child);
    return 1;
}

// The text operations of the text controls (their own content, not the "text" attribute).
template <typename TextControl>
int setOwnText(lua_State* L) {
    if (auto* c = dynamic_cast<TextControl*>(controlFromSelf(L))) {
        std::wstring text = argText(L, 2);
        c->setText(std::wstring_view(text));
    }
    return 0;
}

template <typename TextControl>
int getOwnText(lua_State* L) {
    auto* c = dynamic_cast<TextControl*>(controlFromSelf(L));
    if (!c)
        return 0;
    pushText(L, c->getText());
    return 1;
}

int playStart(lua_State* L) {
    if (auto* c = dynamic_cast<PowerPoint*>(controlFromSelf(L)))
        c->playStart();
    return 0;
}

int playStop(lua_State* L) {
    if (auto* c = dynamic_cast<PowerPoint*>(controlFromSelf(L)))
        c->playStop();
    return 0;
}

int setRange(lua_State* L) {
    if (auto* c = dynamic_cast<ProgressBar*>(controlFromSelf(L)))
        c->setRange(static_cast<int32_t>(argInteger(L, 2)));
    return 0;
}

int setPosition(lua_State* L) {
    if (auto* c = dynamic_cast<ProgressBar*>(controlFromSelf(L)))
        c->setPosition(static_cast<int32_t>(argInteger(L, 2)));
    return 0;
}

const luaL_Reg kCommonMethods[] = {
    {"getWindow", getWindow},
    {"getParent", navigate<&Control::parent>},
    {"getPrevious", navigate<&Control::previousSibling>},
    {"getNext", navigate<&Control::nextSibling>},
    {"getEnabled", getFlag<flag::enabled>},
    {"setEnabled", setEnabled},
    {"setVisible", setVisible},
    {"getVisible", getFlag<flag::visible>},
    {"setFocus", setFocus},
    {"setStyle", setTextAttribute<attr::style, true>},
    {"repaint", repaint},
    {"addHandler", addHandler},
    {"removeHandler", removeHandler},
    {"getName", getName},
    {"setText", setTextAttribute<attr::text, true>},
    {"getText", getText},
    {"setToolTip", setTextAttribute<attr::tooltip, false>},
    {"setColor", setColor},
    {"writeFlag", writeFlag},
    {"readFlag", readFlag},
};

const luaL_Reg kButtonMethods[] = {
    {"setCheck", setCheck},
    {"getCheck", getFlag<flag::checked>},
};

const luaL_Reg kPanelMethods[] = {
    {"getFirstChild", getFirstChild},
    {"getLastChild", getLastChild},
    {"getChild", getChildAt},
};

const luaL_Reg kEditMethods[] = {
    {"setText", setOwnText<Edit>},
    {"getText", getOwnText<Edit>},
};

const luaL_Reg kTextBoxMethods[] = {
    {"setText", setOwnText<TextBox>},
    {"getText", getOwnText<TextBox>},
};

const luaL_Reg kPowerPointMethods[] = {
    {"playStart", playStart},
    {"playStop", playStop},
};

const luaL_Reg kProgressBarMethods[] = {
    {"setRange", setRange},
    {"setPosition", setPosition},
};

template <std::size_t N>
void setMethods(lua_State* L, const luaL_Reg (&methods)[N]) {
    for (const luaL_Reg& m : methods) {
        lua_pushcfunction(L, m.func);
        lua_setfield(L, -2, m.name);
    }
}

}  // namespace

void registerControlMethods(lua_State* L, const wchar_t* typeName) {
    setMethods(L, kCommonMethods);
    if (!typeName)
        return;
    if (std::wcscmp(typeName, L"Button") == 0)
        setMethods(L, kButtonMethods);
    if (std::wcscmp(typeName, L"Panel") == 0)
        setMethods(L, kPanelMethods);
    if (std::wcscmp(typeName, L"Edit") == 0)
        setMethods(L, kEditMethods);
    if (std::wcscmp(typeName, L"TextBox") == 0)
        setMethods(L, kTextBoxMethods);
    if (std::wcscmp(typeName, L"PowerPoint") == 0)
        setMethods(L, kPowerPointMethods);
    if (std::wcscmp(typeName, L"ProgressBar") == 0)
        setMethods(L, kProgressBarMethods);
}

}  // namespace script
