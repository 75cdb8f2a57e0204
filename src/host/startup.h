// The start-up and shutdown steps that belong to other modules, each one call in a fixed place into
// the owning module. Main thread only.
#pragma once

struct UiContext;

// Step 7 / 14: the cross-thread dispatcher; stopping waits for every worker thread to end.
void startDispatcher();
void stopDispatcher();

// Step 8.3: the attribute-setter registry, the two creator registries, the empty layout store and the
// empty skin store of a new context.
void createContextParts(UiContext& context);
// Step 13, before the lock: the layout store (archive and resource copy), then clearSkin.
void releaseLayoutsAndSkin(UiContext& context);
// Step 13, under the context lock: the references of the message-handler map and the registries.
void releaseContextParts(UiContext& context);

// Step 9: loadSkin("style.lz"). Step 10: loadLayouts("frame.lz").
void loadSkinStep();
void loadLayoutsStep();

// Step 11: create the script engine and register the script functions. Step 12: run "UI.lua"; a load
// or run error is shown under "错误"; the engine is closed at the end in every case.
void createScriptEngineStep();
void runUiScriptStep();
