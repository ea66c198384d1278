// An import result as bytes, so that a message read in a reader process reaches the writer
// in the converter unchanged: properties, named properties, recipients, attachments and
// embedded messages.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "mail/importer.h"

namespace reader {

// The encoding of a result as pieces to be written one after the other: fixed fields in a
// buffer of its own, long values (attachments, bodies) referred to in the result itself, which
// must outlive it.
class Encoding {
 public:
  explicit Encoding(const mail::ImportResult& result);
  uint64_t size() const { return size_; }
  std::vector<std::span<const uint8_t>> pieces() const;

  void append(const uint8_t* data, size_t size);  // for the encoder

 private:
  static constexpr size_t kReferredSize = 4096;
  struct Piece {
    const uint8_t* external;  // null: `offset` into own_
    size_t offset;
    size_t size;
  };
  std::vector<uint8_t> own_;
  std::vector<Piece> pieces_;
  uint64_t size_ = 0;
};

// Appends the encoding of `result` to `out`.
void encodeImportResult(const mail::ImportResult& result, std::string& out);

// Where a decoder takes its bytes from; read() delivers exactly `size` bytes or throws.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual void read(void* into, size_t size) = 0;
};

// The result encoded in the next `length` bytes of `source`, or nullopt (with `error` set) when
// they are not exactly one well-formed encoding; then an unknown part of them has been read.
// The bytes come from another process and are not trusted: every count and length is checked
// against the bytes left before anything is allocated, the decoded message may take at most
// `memoryBudget` bytes of memory (what the sender could hold), every value must have the kind
// its tag's type names, and embedded messages nest at most kMaxNesting deep. What the source
// throws passes through.
std::optional<mail::ImportResult> decodeImportResult(ByteSource& source, uint64_t length, size_t memoryBudget,
                                                    std::string* error);
// The same over bytes in memory.
std::optional<mail::ImportResult> decodeImportResult(std::span<const uint8_t> bytes, size_t memoryBudget,
                                                    std::string* error);

inline constexpr int kMaxNesting = 64;

}  // namespace reader
