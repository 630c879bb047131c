#pragma once

#include <QtGlobal>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace FreeMemory {

// Work that freed at least this much (a large capture or save) gives the memory back to the system.
inline constexpr qsizetype largeBytes = qsizetype(1) << 20;

// glibc keeps freed memory for reuse, in every thread's arena; after a large capture or save that is tens
// of megabytes the program will not need again. Hands back what it can.
inline void giveBack()
{
#if defined(__GLIBC__)
    ::malloc_trim(0);
#endif
}

} // namespace FreeMemory
