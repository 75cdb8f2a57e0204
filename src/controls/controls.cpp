#include "controls/controls.h"

#include "controls/text_input.h"
#include "dui/factory.h"

void registerControlCreators(duiFactory::ControlCreatorRegistry& registry) {
    registerTextInputCreators(registry);
}
