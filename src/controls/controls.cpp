#include "controls/controls.h"

#include "dui/factory.h"

void registerControlCreators(duiFactory::ControlCreatorRegistry& registry) {
    (void)registry;
}
