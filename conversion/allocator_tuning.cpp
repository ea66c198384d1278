#include "conversion/allocator_tuning.h"

#include <mutex>

#include "platform/heap_tuning.h"

namespace conversion {

void tuneAllocatorForConversion() {
  static std::once_flag once;
  std::call_once(once, [] {
    // By default glibc maps every block above a (growing) threshold afresh and unmaps it on
    // free, so each message's file buffer and decoded attachments cost page faults and zeroed
    // pages again. Served from the heap and kept there, they are reused by the next message.
    // Blocks above 32 MB (rare) still get their own mapping, and more than 64 MB of free
    // heap is still returned, which keeps the resident size bounded.
    platform::keepLargeBlocksInHeap(32 << 20, 64 << 20);
  });
}

}  // namespace conversion
