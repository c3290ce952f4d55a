// ReleaseColdPages: gives the kernel back the pages a process touched while starting and will
// rarely touch again, such as the shader compiler a software OpenGL driver runs for its first
// frames; ReleaseFreeHeap, the heap's free pages alone. Linux only; pages that are needed again
// come back from the page cache, or as fresh zero pages, on first use.
#pragma once

// Asks the kernel to reclaim the resident pages of every read-only file mapping of the process
// (the code and constant data of the program and its libraries; a page that other processes
// also map stays), then returns the free memory of the heap. Nothing the process wrote is
// dropped. False when the kernel cannot reclaim on request (before Linux 5.4).
bool ReleaseColdPages();

// Returns the free memory of the heap to the kernel: the pages inside freed blocks as well as
// those at its end.
void ReleaseFreeHeap();
