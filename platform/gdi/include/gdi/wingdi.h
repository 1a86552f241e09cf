// The GDI font services the 3D text reads: on Windows the system's own (gdi/system_gdi.h);
// elsewhere the stand-in drawn from FreeType and fontconfig (gdi/standin/wingdi.h).
#pragma once

#ifdef _WIN32
#include "gdi/system_gdi.h"
#else
#include "gdi/standin/wingdi.h"
#endif
