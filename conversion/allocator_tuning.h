// Keeps the C allocator from handing large buffers back to the kernel after every message.
#pragma once

namespace conversion {

// Called once per process before the message pass; later calls do nothing.
void tuneAllocatorForConversion();

}  // namespace conversion
