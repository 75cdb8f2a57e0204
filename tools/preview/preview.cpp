// preview: lays out one layout entry with a skin and writes what it paints as a PNG.
//
//   preview --entry NAME [--layouts FRAME.lz] [--skin STYLE.lz] [--size WxH] [--background RRGGBB]
//           [--flags ID=HEX]... [--value ID=N[/RANGE]]... [--out FILE.png]
//
// Without --layouts / --skin the archives embedded in this executable (the installer's "frame.lz" and
// "style.lz") are used. The size defaults to the root's "initSize", else 600x400. --flags replaces the
// flag word of the control with that "id" (for example 0x13 shows an enabled, visible, hovered
// control). --value sets a slider's value, or a progress bar's range (100 unless given) and position.
// Exit codes: 0 written, 2 bad arguments, 3 skin or layout not loaded, 4 output not written.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "controls/controls.h"
#include "controls/progress_bar.h"
#include "controls/slider.h"
#include "dui/control.h"
#include "dui/loader.h"
#include "dui/panels.h"
#include "dui/window_host.h"
#include "host/handles.h"
#include "host/resource_file_system.h"
#include "dui/context_parts.h"
#include "host/ui_context.h"
#include "png_writer.h"
#include "render/paint_surface.h"
#include "render/skin_store.h"

namespace {

struct Options {
    std::wstring entry, layouts, skin, out = L"preview.png";
    int width = 0, height = 0;
    COLORREF background = RGB(255, 255, 255);
    std::map<int32_t, uint32_t> flags;                      // control id -> flag word
    std::map<int32_t, std::pair<int32_t, int32_t>> values;  // control id -> value, range
};

int usage(const char* why) {
    std::fprintf(stderr,
                 "preview: %s\nusage: preview --entry NAME [--layouts FRAME.lz] [--skin STYLE.lz] "
                 "[--size WxH] [--background RRGGBB] [--flags ID=HEX]... [--value ID=N[/RANGE]]... "
                 "[--out FILE.png]\n",
                 why);
    return 2;
}

bool parseOptions(int argc, wchar_t** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring key = argv[i];
        if (i + 1 >= argc)
            return false;
        const wchar_t* value = argv[++i];
        if (key == L"--entry") {
            o.entry = value;
        } else if (key == L"--layouts") {
            o.layouts = value;
        } else if (key == L"--skin") {
            o.skin = value;
        } else if (key == L"--out") {
            o.out = value;
        } else if (key == L"--size") {
            if (std::swscanf(value, L"%dx%d", &o.width, &o.height) != 2 || o.width <= 0 || o.height <= 0 ||
                o.width > 8192 || o.height > 8192)
                return false;
        } else if (key == L"--background") {
            const unsigned long rgb = std::wcstoul(value, nullptr, 16);
            o.background = RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
        } else if (key == L"--flags") {
            int id = 0;
            unsigned word = 0;
            if (std::swscanf(value, L"%d=%x", &id, &word) != 2)
                return false;
            o.flags[id] = word;
        } else if (key == L"--value") {
            int id = 0, number = 0, range = 100;
            if (std::swscanf(value, L"%d=%d/%d", &id, &number, &range) < 2)
                return false;
            o.values[id] = {number, range};
        } else {
            return false;
        }
    }
    return !o.entry.empty();
}

// The whole file in a malloc'd buffer (the stores release it with free()); null when unreadable.
void* readWholeFile(const std::wstring& path, std::size_t* size) {
    win::unique_file file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER length{};
    if (!file || !GetFileSizeEx(file.get(), &length) || length.QuadPart > 0x7FFFFFFF)
        return nullptr;
    void* bytes = std::malloc(static_cast<std::size_t>(length.QuadPart) + 1);
    DWORD got = 0;
    if (!bytes || !ReadFile(file.get(), bytes, static_cast<DWORD>(length.QuadPart), &got, nullptr) ||
        got != length.QuadPart) {
        std::free(bytes);
        return nullptr;
    }
    *size = got;
    return bytes;
}

bool writeWholeFile(const std::wstring& path, const std::string& data) {
    win::unique_file file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
           written == data.size();
}

// Stands in for the top-level window: the tree is live, ids are known, repaint requests go nowhere.
class PreviewHost : public WindowHost {
  public:
    HWND windowHandle() const override { return nullptr; }
    void storeControlId(int32_t id, Control* control) override { ids[id] = control; }
    void eraseControlId(Control* control) override {
        for (auto it = ids.begin(); it != ids.end();)
            it = it->second == control ? ids.erase(it) : std::next(it);
    }
    void forgetControl(Control*) override {}
    void addDirtyArea(const RECT&) override {}
    POINT cursorClientPosition() const override { return POINT{-1, -1}; }

    std::map<int32_t, Control*> ids;
};

bool loadStores(const Options& o) {
    UiParts* ui = uiParts();
    if (!ui || !ui->skin)
        return false;
    bool skinLoaded = false;
    if (o.skin.empty()) {
        skinLoaded = ui->skin->loadSkin(L"style.lz");
    } else {
        std::size_t size = 0;
        void* bytes = readWholeFile(o.skin, &size);
        skinLoaded = ui->skin->loadSkinArchive(bytes, size, nullptr);
    }
    if (!skinLoaded) {
        std::fprintf(stderr, "preview: the skin could not be read\n");
        return false;
    }
    if (o.layouts.empty())
        return loadLayouts(L"frame.lz");
    std::size_t size = 0;
    void* bytes = readWholeFile(o.layouts, &size);
    return ui->layouts && ui->layouts->adopt(bytes, size, nullptr);
}

int render(const Options& o) {
    if (!loadStores(o))
        return 3;
    std::unique_ptr<Control> root;
    try {
        root.reset(loadLayout(o.entry.c_str()));
    } catch (const rapidxml::parse_error& error) {
        std::fprintf(stderr, "preview: the layout is not well-formed: %s\n", error.what());
        return 3;
    }
    if (!root) {
        std::fprintf(stderr, "preview: no layout entry of that name (or its root is not a control)\n");
        return 3;
    }
    SIZE size{o.width, o.height};
    if (size.cx <= 0) {
        const SIZE* initial = root->findSize(attr::initSize);
        size = initial && initial->cx > 0 && initial->cy > 0 ? *initial : SIZE{600, 400};
    }

    PreviewHost host;
    root->attach(&host);
    measureControl(root.get(), size);
    arrangeControl(root.get(), RECT{0, 0, size.cx, size.cy});
    for (const auto& [id, word] : o.flags) {
        auto found = host.ids.find(id);
        if (found == host.ids.end())
            std::fprintf(stderr, "preview: no control with id %d\n", id);
        else
            found->second->setFlags(word);
    }
    for (const auto& [id, value] : o.values) {
        auto found = host.ids.find(id);
        Control* c = found == host.ids.end() ? nullptr : found->second;
        if (auto* slider = dynamic_cast<Slider*>(c)) {
            slider->setValue(value.first);
        } else if (auto* bar = dynamic_cast<ProgressBar*>(c)) {
            bar->setRange(value.second);
            bar->setPosition(value.first);
        } else {
            std::fprintf(stderr, "preview: no slider or progress bar with id %d\n", id);
        }
    }

    PaintSurface surface;
    int result = 4;
    if (surface.resize(size.cx, size.cy)) {
        const RECT all{0, 0, size.cx, size.cy};
        win::unique_hgdiobj brush(CreateSolidBrush(o.background));
        FillRect(surface.dc(), &all, static_cast<HBRUSH>(brush.get()));
        {
            // As the window does: the whole surface is dirty and "Default" is the surface's font.
            auto saved = win::save_dc(surface.dc());
            win::unique_hrgn clip(CreateRectRgnIndirect(&all));
            SelectClipRgn(surface.dc(), clip.get());
            auto font = win::select_object(surface.dc(), currentSkin()->findFont(L"Default"));
            RECT rect = root->bounds();
            root->paint(surface.dc(), rect, all);
        }
        GdiFlush();
        DIBSECTION section{};
        if (GetObjectW(surface.bitmap(), sizeof(section), &section) == sizeof(section) &&
            writeWholeFile(
                o.out, encodePngFromBgra(size.cx, size.cy, static_cast<const uint32_t*>(section.dsBm.bmBits),
                                         true))) {
            std::printf("preview: %ldx%ld written\n", size.cx, size.cy);
            result = 0;
        }
    }
    if (result != 0)
        std::fprintf(stderr, "preview: the picture could not be written\n");
    root->detach();
    return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (!parseOptions(argc, argv, options))
        return usage("bad arguments");
    ResourceFileSystem files;
    registerInstallerResources(files);
    if (!createUiContextWithParts()) {
        std::fprintf(stderr, "preview: no user-interface context\n");
        return 3;
    }
    registerControlCreators(*uiParts()->controlCreators);
    const int result = render(options);
    destroyUiContextWithParts();
    return result;
}
