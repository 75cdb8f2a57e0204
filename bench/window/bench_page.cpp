#include "bench_page.h"

#include <windows.h>

#include "dui/context_parts.h"
#include "dui/loader.h"
#include "host/resource_file_system.h"
#include "host/ui_context.h"
#include "render/skin_store.h"

bool loadBenchPage() {
    static ResourceFileSystem* files = nullptr;  // the catalogue lives to the process end
    if (!files) {
        files = new ResourceFileSystem;
        files->registerName(L"frame.lz", 113);
        files->registerName(L"style.lz", 116);
    }
    // The context with its parts: the skin store and the layout store come with them, not with the bare
    // context.
    if (!createUiContextWithParts() || !uiParts()->skin->loadSkin(L"style.lz") || !loadLayouts(L"frame.lz")) {
        OutputDebugStringW(L"bench: the skin or the layouts did not load\n");
        return false;
    }
    return true;
}
