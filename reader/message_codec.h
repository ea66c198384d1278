// An import result as bytes, so that a message read in a reader process reaches the writer
// in the converter unchanged: properties, named properties, recipients, attachments and
// embedded messages.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "mail/importer.h"

namespace reader {

// Appends the encoding of `result` to `out`.
void encodeImportResult(const mail::ImportResult& result, std::string& out);

// The result encoded in `bytes`, or nullopt (with `error` set) when they are not exactly one
// well-formed encoding. The bytes come from another process and are not trusted: every count
// and length is checked against the bytes left before anything is allocated, the decoded
// message may take at most `memoryBudget` bytes of memory (what the sender could hold), every
// value must have the kind its tag's type names, and embedded messages nest at most
// kMaxNesting deep.
std::optional<mail::ImportResult> decodeImportResult(std::span<const uint8_t> bytes, size_t memoryBudget,
                                                    std::string* error);

inline constexpr int kMaxNesting = 64;

}  // namespace reader
