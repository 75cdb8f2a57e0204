#include "dui/factory.h"

#include <new>

#include "dui/panels.h"

namespace duiFactory {

void registerPanelCreators(ControlCreatorRegistry& registry) {
    registry.add<Canvas>(L"Canvas");
    registry.add<StackPanel>(L"StackPanel");
    registry.add<DockPanel>(L"DockPanel");
    registry.add<Grid>(L"Grid");
    registry.add<Grid>(L"Window");
}

}  // namespace duiFactory

duiFactory::ControlCreatorRegistry* createControlCreators() {
    auto* registry = new (std::nothrow) duiFactory::ControlCreatorRegistry;
    if (registry)
        duiFactory::registerPanelCreators(*registry);
    return registry;
}

duiFactory::StyleCreatorRegistry* createStyleCreators() {
    return new (std::nothrow) duiFactory::StyleCreatorRegistry;
}

void destroyControlCreators(duiFactory::ControlCreatorRegistry* registry) {
    delete registry;
}
void destroyStyleCreators(duiFactory::StyleCreatorRegistry* registry) {
    delete registry;
}
