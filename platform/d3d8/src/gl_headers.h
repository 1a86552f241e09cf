// GL's types and enumerations for the device's sources.
#pragma once

// Prototypes are declared only for their types; every call goes through a loaded pointer.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
