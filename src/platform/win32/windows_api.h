// <windows.h> for the Windows backends, without the macros that would rename members of the
// program's own interfaces (TTextSurface::DrawText would become DrawTextW in some files only).
#pragma once

#include <windows.h>

#undef DrawText
