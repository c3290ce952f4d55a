// Reclaiming cold pages: /proc/self/maps lists the mappings, madvise(MADV_PAGEOUT) reclaims a
// range's pages at once, and malloc_trim hands the heap's free pages back.
#include "x11/cold_pages.h"

#include <malloc.h>
#include <sys/mman.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>

#ifndef MADV_PAGEOUT
#define MADV_PAGEOUT 21  // Linux 5.4; older C libraries lack the name
#endif

bool ReleaseColdPages() {
  FILE* maps = std::fopen("/proc/self/maps", "r");
  if (maps == nullptr) return false;
  bool supported = true;
  char line[4096];
  while (supported && std::fgets(line, sizeof line, maps) != nullptr) {
    uintptr_t start = 0, end = 0;
    char perms[5] = {};
    int pathAt = 0;
    // start-end perms offset dev inode path
    if (std::sscanf(line, "%" SCNxPTR "-%" SCNxPTR " %4s %*s %*s %*s %n", &start, &end, perms,
                    &pathAt) < 3 ||
        pathAt == 0)
      continue;
    // Only files: anonymous memory, the heap, stacks and [vdso] have no file to come back from.
    // A writable mapping may hold the process's own changes and is left alone.
    if (line[pathAt] != '/' || perms[1] == 'w' || perms[0] != 'r') continue;
    if (madvise(reinterpret_cast<void*>(start), end - start, MADV_PAGEOUT) != 0 && errno == EINVAL)
      supported = false;
  }
  std::fclose(maps);
  ReleaseFreeHeap();
  return supported;
}

void ReleaseFreeHeap() {
  malloc_trim(0);
}
