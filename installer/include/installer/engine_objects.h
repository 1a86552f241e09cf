// The engine core's objects as the installer calls them. The engine core is loaded at run
// time (InitEngine) and reached only through these virtual interfaces, never linked; until
// it is loaded, the installer holds none of them and unpacks packed files itself with zlib.
#pragma once

#include "plugin_frame/engine_control.h"

// The engine's file loader: content attached from memory, opened as a container, and read
// back after the engine's decompression component has unpacked it.
using FileLoader = EngineFileLoader;
