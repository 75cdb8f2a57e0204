// The benchmarks' set-up: the UI context with the installer's skin ("style.lz") and the benchmark
// layouts ("frame.lz": page.xml and proxywindow.xml), both embedded in the running program.
#pragma once

// False (with a message on the debugger output) when the skin or the layouts cannot be loaded.
bool loadBenchPage();
