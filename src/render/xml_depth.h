// A guard for the XML texts of the skin and the layouts (styles, "font.xml", layout entries), which
// product teams write. The parser recurses once per nesting level, and so do the builders, layout,
// painting and destruction of the trees made from it: a document nested a few thousand levels deep
// overflows the stack. Such a document is refused before parsing, with the parser's own error type,
// so every caller treats it like any other malformed document. Header only; any thread.
#pragma once

#include <rapidxml.hpp>

namespace xmlguard {

// Deeper than any real layout (they nest under ten levels) and far below what the stack takes.
constexpr int kMaxDepth = 256;

// Throws rapidxml::parse_error("element nesting too deep") when elements of the zero-terminated text
// nest deeper than kMaxDepth. Comments, declarations and quoted attribute values are skipped; what is
// otherwise malformed is left to the parser.
template <typename Ch>
void checkDepth(Ch* text) {
    int depth = 0;
    for (Ch* p = text; *p; ++p) {
        if (*p != Ch('<'))
            continue;
        Ch next = p[1];
        if (next == Ch('/')) {
            --depth;
            continue;
        }
        if (next == Ch('!') || next == Ch('?')) {
            const bool comment = next == Ch('!') && p[2] == Ch('-') && p[3] == Ch('-');
            for (++p; *p; ++p) {
                if (*p == Ch('>') && (!comment || (p[-1] == Ch('-') && p[-2] == Ch('-'))))
                    break;
            }
            if (!*p)
                return;
            continue;
        }
        // A start tag: to its '>' outside quotes; "/>" closes it at once.
        Ch quote = 0;
        for (++p; *p; ++p) {
            if (quote) {
                if (*p == quote)
                    quote = 0;
            } else if (*p == Ch('"') || *p == Ch('\'')) {
                quote = *p;
            } else if (*p == Ch('>')) {
                break;
            }
        }
        if (!*p)
            return;
        if (p[-1] != Ch('/') && ++depth > kMaxDepth)
            throw rapidxml::parse_error("element nesting too deep", p);
    }
}

}  // namespace xmlguard
