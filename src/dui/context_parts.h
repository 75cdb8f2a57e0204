// The UI context together with the parts the object model and the renderer put into it: the
// attribute-setter registry, the control creators (panels registered), the style creators, the empty
// layout store and the empty skin store. UiParts owns them; createUiContextWithParts makes them with the
// context and destroyUiContextWithParts releases them before it, the one place for both. Higher modules
// add their own creators afterwards. UI thread only.
#pragma once

#include <memory>

#include "dui/factory.h"
#include "dui/loader.h"
#include "dui/setters.h"
#include "render/skin_store.h"

struct UiParts {
    struct DestroySetters {
        void operator()(duiField::SetterRegistry* r) const { destroySetterRegistry(r); }
    };
    struct DestroyControlCreators {
        void operator()(duiFactory::ControlCreatorRegistry* r) const { destroyControlCreators(r); }
    };
    struct DestroyStyleCreators {
        void operator()(duiFactory::StyleCreatorRegistry* r) const { destroyStyleCreators(r); }
    };

    std::unique_ptr<duiField::SetterRegistry, DestroySetters> setters;
    std::unique_ptr<duiFactory::ControlCreatorRegistry, DestroyControlCreators> controlCreators;
    std::unique_ptr<duiFactory::StyleCreatorRegistry, DestroyStyleCreators> styleCreators;
    std::unique_ptr<LayoutStore> layouts;
    std::unique_ptr<SkinStore> skin;  // also the renderer's currentSkin() while it lives
};

// The live parts, or null before createUiContextWithParts / after destroyUiContextWithParts.
UiParts* uiParts();

// False (and no context) when a context exists already.
bool createUiContextWithParts();
// Releases the layouts, the skin, the application message handlers and the registries, then the
// context itself. Nothing without a context.
void destroyUiContextWithParts();
