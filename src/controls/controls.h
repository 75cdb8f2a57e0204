// The element names of the concrete controls. UI thread only.
#pragma once

namespace duiFactory {
class ControlCreatorRegistry;
}

// Adds the creator of every concrete control under its layout element name. Start-up calls it once
// after the object model's registries exist; tests that build trees from layouts call it too.
void registerControlCreators(duiFactory::ControlCreatorRegistry& registry);
