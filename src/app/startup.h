// Start-up and shutdown over every module: the composition root that main.cpp (and the installer's
// test variants) run in a fixed order. Each function calls into the module that owns the work. Main
// thread only.
#pragma once

// The cross-thread dispatcher; stopping waits for every worker thread to end.
void startDispatcher();
void stopDispatcher();

// The UI context with the object model's registries and stores, and every module's creators; false
// (and no context) when one exists already. Destroying releases the parts, then the context.
bool createUiContextStep();
void destroyUiContextStep();

// Loads the skin from "style.lz" and the layouts from "frame.lz".
void loadSkinStep();
void loadLayoutsStep();

// Creates the script engine with every script function, then runs "UI.lua": a load or run error is
// shown under "错误"; the engine is closed at the end in every case.
void createScriptEngineStep();
void runUiScriptStep();
