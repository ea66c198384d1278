// What a child program started by ChildProcess does for itself: end with its parent, leave
// Ctrl+C to the parent, cap its own memory, and answer on the channel the parent reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace platform::child {

// Ends this process when the parent `parentId` ends, even by being killed; false when the
// parent is gone already. Also: Ctrl+C and broken pipes are ignored, and a crash writes no
// core dump.
bool followParent(long long parentId);
// Allocations beyond `bytes` of memory fail.
void capMemory(uint64_t bytes);
// The descriptor the parent's requests arrive on (files.h).
int requestInput();
// The descriptor the parent reads replies from; ChildProcess placed it at `replyDescriptor`
// (Windows: standard output, which from here on goes to standard error instead).
int replyOutput(int replyDescriptor);
// Writes the pieces in order, straight from where they lie; false when the parent is gone.
bool writePieces(int fd, std::span<const std::span<const uint8_t>> pieces);
// Ends the process at once with `status`, running no exit handlers.
[[noreturn]] void endNow(int status);
// Crashes the process as a fault in the program would (tests use it).
[[noreturn]] void crash();

}  // namespace platform::child
