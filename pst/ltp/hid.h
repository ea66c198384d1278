// Heap IDs: where an item lives in a heap-on-node (block index and 1-based item index).
#pragma once

#include <cstddef>
#include <cstdint>

namespace pst::ltp {

using Hid = uint32_t;

// The largest heap item; bigger values go to subnodes.
constexpr size_t kMaxHeapItem = 3580;
// Every heap block is one data block of at most this many bytes.
constexpr size_t kHeapBlockSize = 8176;
constexpr size_t kMaxHeapBlocks = 65536;
// hidIndex has 11 bits.
constexpr size_t kMaxItemsPerBlock = 2047;

constexpr Hid makeHid(uint32_t block, uint32_t item) { return (block << 16) | ((item + 1) << 5); }
constexpr uint32_t hidBlock(Hid hid) { return hid >> 16; }
// 0-based item index; -1 for a HID without one.
constexpr int hidItem(Hid hid) { return static_cast<int>((hid >> 5) & 0x7FF) - 1; }
// A HNID is a HID when its low five bits (the NID type) are 0, else a subnode NID.
constexpr bool isHid(uint32_t hnid) { return (hnid & 0x1F) == 0; }

// Heap client signatures (bClientSig).
constexpr uint8_t kHeapSignature = 0xEC;
constexpr uint8_t kClientTc = 0x7C;
constexpr uint8_t kClientBth = 0xB5;
constexpr uint8_t kClientPc = 0xBC;

// Block 8 and every 128th after it start with a fill-level bitmap instead of a page header.
constexpr bool isBitmapBlock(size_t block) { return block >= 8 && (block - 8) % 128 == 0; }
constexpr size_t heapBlockHeaderSize(size_t block) {
  return block == 0 ? 12 : isBitmapBlock(block) ? 66 : 2;
}

// The fill level of a block with `freeBytes` unused: 0 = mostly empty .. 15 = full.
uint8_t fillLevel(size_t freeBytes);

}  // namespace pst::ltp
