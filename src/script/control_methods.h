// Script methods of control tables: the common methods and those chosen by the type names the
// object model serves itself ("Button", "Panel"). UI thread only.
#pragma once

struct lua_State;

namespace script {

// Sets the methods as fields of the table on top of the stack (stack unchanged).
void registerControlMethods(lua_State* L, const wchar_t* typeName);

}  // namespace script
