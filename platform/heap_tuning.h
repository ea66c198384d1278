// How the C library's allocator treats large blocks.
#pragma once

#include <cstddef>

namespace platform {

// Blocks up to `ownMappingAbove` bytes come from the heap and are reused when freed, instead of
// costing fresh zeroed pages each time; free heap above `returnAbove` bytes goes back to the
// system. Where the allocator has no such settings (Windows), nothing changes.
void keepLargeBlocksInHeap(size_t ownMappingAbove, size_t returnAbove);

}  // namespace platform
