#include "platform/heap_tuning.h"

#include <malloc.h>

namespace platform {

void keepLargeBlocksInHeap(size_t ownMappingAbove, size_t returnAbove) {
  mallopt(M_MMAP_THRESHOLD, static_cast<int>(ownMappingAbove));
  mallopt(M_TRIM_THRESHOLD, static_cast<int>(returnAbove));
}

}  // namespace platform
