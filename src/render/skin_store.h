// The loaded skin: fonts from "font.xml", images and styles decoded or parsed on first use, all taken
// from one pack archive. Owns every font, image and style it hands out; pointers stay valid until
// clearSkin. UI thread only. Lookups answer null for anything the skin does not hold.
#pragma once

#include <windows.h>
#include <cstddef>
#include <map>
#include <memory>
#include <string>

#include "host/owned_archive.h"
#include "render/skin_image.h"

class Style;
class FileSystem;

// How the store turns a style entry into a Style and disposes of it; supplied by the style module so
// that rendering does not depend on the object model. parse may throw rapidxml::parse_error.
struct StyleFactory {
    Style* (*parse)(const wchar_t* text) = nullptr;
    void (*destroy)(Style* style) = nullptr;
};

class SkinStore {
  public:
    explicit SkinStore(StyleFactory styles = {});
    SkinStore(const SkinStore&) = delete;
    SkinStore& operator=(const SkinStore&) = delete;
    ~SkinStore();

    // clearSkin, then reads the named resource through currentFileSystem() and opens it as the skin
    // archive. False when the resource is missing (the skin is then empty).
    bool loadSkin(const wchar_t* resourceName);
    // As loadSkin over bytes the caller hands over: they are released with owner->freeBuffer, or with
    // free() when owner is null, when the skin is cleared. False (bytes released) when bytes is null.
    bool loadSkinArchive(void* bytes, std::size_t size, FileSystem* owner);
    // Empties the store: closes the archive, releases its bytes, deletes images, styles and fonts.
    void clearSkin();

    // Unknown names are remembered, so a second lookup answers null at once.
    HFONT findFont(const std::wstring& name);
    // Decoded on first use; data that does not decode is cached as an image without a bitmap. A name
    // the archive lacks is not remembered.
    SkinImage* findImage(const std::wstring& name);
    // Parsed on first use; a rejected entry (malformed XML included) is remembered as null. A name the
    // archive lacks is not remembered.
    Style* findStyle(const std::wstring& name);

    bool hasArchive() const { return static_cast<bool>(archive_); }

  private:
    void loadFonts();

    struct StyleDeleter {
        void (*destroy)(Style*) = nullptr;
        void operator()(Style* style) const {
            if (style && destroy)
                destroy(style);
        }
    };
    using StylePtr = std::unique_ptr<Style, StyleDeleter>;

    StyleFactory styleFactory_;
    std::map<std::wstring, win::unique_hfont> fonts_;
    std::map<std::wstring, std::unique_ptr<SkinImage>> images_;
    std::map<std::wstring, StylePtr> styles_;
    OwnedArchive archive_;
};

// The skin that painting uses, or null when there is none. Not owned: its owner (the UI parts of
// dui/context_parts.h, or a test) sets it while the store lives and clears it before destroying it.
SkinStore* currentSkin();
void setCurrentSkin(SkinStore* skin);
// The current skin's image; null without a skin, for a null or empty name, or when the skin lacks it.
SkinImage* findSkinImage(const wchar_t* name);
// The current skin's font, "Default" for a null name; null without a skin or when the skin lacks it.
HFONT findSkinFont(const wchar_t* name);
