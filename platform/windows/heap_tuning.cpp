#include "platform/heap_tuning.h"

namespace platform {

// The Windows heap has no such settings: large blocks keep their own mappings there.
void keepLargeBlocksInHeap(size_t, size_t) {}

}  // namespace platform
