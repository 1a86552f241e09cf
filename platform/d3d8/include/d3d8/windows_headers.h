// <windows.h> as the code that meets it beside the project's own headers needs it: no
// min/max macros, none of the rarely used parts, and no GUID comparison operators (the
// channel GUID header has its own, for the same layout).
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef _NO_SYS_GUID_OPERATOR_EQ_
#define _NO_SYS_GUID_OPERATOR_EQ_
#endif
#include <windows.h>
