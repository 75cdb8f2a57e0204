// The "UI.lua" resource of a product: its framework glue (glue.lua) joined to a UI script. Pure
// functions, any thread.
#pragma once

#include <string>

namespace packtool {

// glue run as a chunk of its own named "glue.lua", then ui. The glue goes on ui's first line as one
// escaped string literal, so every line of ui keeps its number in the joined chunk, and an error in
// the glue names glue.lua and the glue's own line. An empty glue gives ui unchanged (a UI script that
// carries its glue itself).
std::string joinUiScript(const std::string& glue, const std::string& ui);

}  // namespace packtool
