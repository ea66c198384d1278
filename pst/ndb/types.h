// Basic NDB identifiers: NID, BID, IB and the node types.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace pst {

using Nid = uint32_t;  // node id: low 5 bits type, high 27 bits index
using Bid = uint64_t;  // block or page id; bit 1 marks internal blocks
using Ib = uint64_t;   // absolute file offset

enum class NidType : uint8_t {
  Hid = 0x00,
  Internal = 0x01,
  NormalFolder = 0x02,
  SearchFolder = 0x03,
  NormalMessage = 0x04,
  Attachment = 0x05,
  SearchUpdateQueue = 0x06,
  SearchCriteriaObject = 0x07,
  AssocMessage = 0x08,
  ContentsTableIndex = 0x0A,
  ReceiveFolderTable = 0x0B,
  OutgoingQueueTable = 0x0C,
  HierarchyTable = 0x0D,
  ContentsTable = 0x0E,
  AssocContentsTable = 0x0F,
  SearchContentsTable = 0x10,
  AttachmentTable = 0x11,
  RecipientTable = 0x12,
  SearchTableIndex = 0x13,
  Ltp = 0x1F,
};

constexpr Nid makeNid(NidType type, uint32_t index) {
  return (index << 5) | static_cast<uint32_t>(type);
}
constexpr NidType nidType(Nid nid) { return static_cast<NidType>(nid & 0x1F); }
constexpr uint32_t nidIndex(Nid nid) { return nid >> 5; }

// Any failure to write or read a PST. The message names the file or structure and what to do.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A write to the file being made failed (a full disk, an I/O error): it cannot be completed.
class WriteFailure : public Error {
 public:
  using Error::Error;
};

}  // namespace pst
