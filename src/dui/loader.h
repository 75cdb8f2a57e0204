// The layout loader: opens the layout archive ("frame.lz") once, and builds a new, detached control
// tree from one of its XML entries per request. UI thread only. Malformed XML raises
// rapidxml::parse_error out of loadLayout (the only exception that leaves this module); everything
// the load held is released on the way out.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include <rapidxml.hpp>

#include "host/owned_archive.h"

class Control;
class Object;

// The layout archive ("frame.lz") with its bytes; the UiContext owns it. Empty until opened.
class LayoutStore : public OwnedArchive {};

// A control that keeps the tree built from its first child element as its page ("TabItem").
class PageOwner {
  public:
    virtual void setPage(Control* page) = 0;  // takes ownership; page may be null

  protected:
    ~PageOwner() = default;
};

// A control that takes the trees built from its child elements as its items (lists and combo boxes),
// whether or not it is a container.
class ItemOwner {
  public:
    // Takes ownership of `item` (not null) and answers true; false leaves it with the caller.
    virtual bool addItem(Control* item) = 0;

  protected:
    ~ItemOwner() = default;
};

// Replaces the live context's layout store with the named resource read through currentFileSystem().
// False when there is no context or file system, or the resource is missing (the store is then empty).
bool loadLayouts(const wchar_t* resourceName);

// A new tree from the named entry of the layout store; the root belongs to the caller. Null when the
// entry is missing, the document has no element or the root element is not registered.
Control* loadLayout(const wchar_t* entryName);

// The same from UTF-8 bytes (no byte-order mark).
Control* buildLayout(const char* utf8, std::size_t size);

// loadLayout for callers that report a malformed entry instead of letting the parse error travel:
// null with *error = "entry:line:column: the parser's message" (line and column from 1); *error is
// left empty for every other outcome.
Control* loadLayoutReporting(const wchar_t* entryName, std::wstring* error);

// The recursive builder: null for text nodes and for unregistered names (the subtree is skipped, and a
// debugger-output line names the element).
Control* buildControl(const rapidxml::xml_node<wchar_t>* element);

// Applies every attribute of `element` through the setter registry, then the flag attributes
// "visible", "enabled" and "transparent" (the single character 1 sets, anything else clears).
void applyAttributes(Object& object, const rapidxml::xml_node<wchar_t>& element);

// Parse flags shared with the style loader: no entity translation.
constexpr int kLayoutParseFlags = rapidxml::parse_no_entity_translation;
