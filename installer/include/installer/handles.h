// Handles the installer passes along without looking into them: the program instance the
// entry receives, and windows (the hidden main window is the owner of every dialog and is
// handed to the engine).
#pragma once

using InstanceHandle = void*;
using WindowHandle = void*;
