#include "ui_script.h"

namespace packtool {

std::string joinUiScript(const std::string& glue, const std::string& ui) {
    if (glue.empty())
        return ui;
    std::string out = "assert(load(\"";
    for (char c : glue) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\0':
                out += "\\000";
                break;  // three digits: a digit after it stays a digit
            default:
                out += c;
        }
    }
    // The statement ends in ";" so that a first line of ui beginning with "(" is not read as a call.
    return out + "\", \"=glue.lua\"))(); " + ui;
}

}  // namespace packtool
