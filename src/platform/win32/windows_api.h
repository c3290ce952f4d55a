// <windows.h> for the Windows backends, without the macros that would rename members of the
// program's own interfaces (TTextSurface::DrawText would become DrawTextW in some files only),
// and the run-time lookup of the calls of newer Windows.
#pragma once

#include <windows.h>

#undef DrawText

// A call of newer Windows, looked up at run time in module: null where the module or the call is
// missing, so the program still starts where it is older.
template <class F>
void LookupCall(HMODULE module, const char* name, F& call) {
  call =
      module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}
