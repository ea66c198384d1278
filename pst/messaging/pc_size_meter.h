// The stored size of a property context before it is written: a message's PidTagMessageSize
// counts its own property context, which therefore cannot be written first and measured.
// The context is written once into a throw-away file instead, where its size is read off.
#pragma once

#include <filesystem>
#include <memory>
#include <span>

#include "pst/ltp/property.h"
#include "pst/ndb/ndb_writer.h"

namespace pst::messaging {

class PcSizeMeter {
 public:
  PcSizeMeter();
  ~PcSizeMeter();
  PcSizeMeter(const PcSizeMeter&) = delete;
  PcSizeMeter& operator=(const PcSizeMeter&) = delete;

  // Bytes of node data and value subnodes that writePropertyContext produces for `props`.
  uint64_t measure(std::span<const Property> props);

 private:
  std::filesystem::path path_;
  std::unique_ptr<ndb::NdbWriter> scratch_;
};

}  // namespace pst::messaging
