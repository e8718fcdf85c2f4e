#pragma once
// Hands memory that the allocator keeps after a large passing use (a list sorted, a page's data
// written) back to the system, so the program's resident size follows what it holds. Costs a walk
// over the free lists, a millisecond or two; call it after big work, not in loops.

#if defined(__GLIBC__)
#include <malloc.h>
#endif

inline void ReturnFreedMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}
