#include "controls/controls.h"

#include "controls/listbox.h"
#include "dui/factory.h"

void registerControlCreators(duiFactory::ControlCreatorRegistry& registry) {
    registerListCreators(registry);
}
