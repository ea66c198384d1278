#include "pst/messaging/pc_size_meter.h"

#include <random>
#include <string>

#include "pst/ltp/property_context.h"

namespace pst::messaging {

namespace {
// The throw-away file is started afresh past this size, so it never grows without bound.
constexpr uint64_t kScratchLimit = 64ull << 20;
}  // namespace

PcSizeMeter::PcSizeMeter() {
  std::random_device rd;
  path_ = std::filesystem::temp_directory_path() /
          ("vantorel-size-" + std::to_string(rd()) + std::to_string(rd()) + ".tmp");
}

PcSizeMeter::~PcSizeMeter() = default;  // an unfinished writer removes its file

uint64_t PcSizeMeter::measure(std::span<const Property> props) {
  if (scratch_ && scratch_->size() > kScratchLimit) scratch_.reset();
  if (!scratch_) scratch_ = std::make_unique<ndb::NdbWriter>(path_);
  const uint64_t before = scratch_->dataBytesWritten();
  ltp::SubnodeBuilder subnodes;
  ltp::writePropertyContext(*scratch_, props, subnodes);
  return scratch_->dataBytesWritten() - before;
}

}  // namespace pst::messaging
