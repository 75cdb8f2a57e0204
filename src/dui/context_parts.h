// The UI context together with the parts the object model puts into it: the attribute-setter
// registry, the control creators (panels registered), the style creators, the empty layout store and
// the empty skin store. Higher modules add their own creators afterwards. UI thread only.
#pragma once

// False (and no context) when a context exists already.
bool createUiContextWithParts();
// Releases the layouts, the skin, the application message handlers and the registries, then the
// context itself. Nothing without a context.
void destroyUiContextWithParts();
