// Writes COUNT message-sized property contexts (30 integers, 8 short strings, a time) and
// reports how many a second the PC writer and the node database sustain together.
// Usage: ltp-pc-bench OUT.pst [COUNT]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pst/ltp/property_context.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: ltp-pc-bench OUT.pst [COUNT]\n");
    return 2;
  }
  const int count = argc == 3 ? std::atoi(argv[2]) : 100000;
  using pst::makeTag;
  using pst::PropType;
  std::vector<pst::Property> props;
  for (uint16_t i = 0; i < 30; ++i) props.push_back({makeTag(0x6000 + i, PropType::Int32), int32_t{i}});
  for (uint16_t i = 0; i < 8; ++i)
    props.push_back({makeTag(0x6100 + i, PropType::Unicode), "Some header value number " + std::to_string(i)});
  props.push_back({makeTag(0x0E06, PropType::Time), uint64_t{0x01DA000000000000}});
  try {
    const auto start = std::chrono::steady_clock::now();
    pst::ndb::NdbWriter w(argv[1]);
    for (int i = 0; i < count; ++i) {
      pst::ltp::SubnodeBuilder subs;
      const pst::Bid data = pst::ltp::writePropertyContext(w, props, subs);
      w.addNode(pst::makeNid(pst::NidType::NormalMessage, 0x10000 + static_cast<uint32_t>(i)), data, subs.write(w), 0);
    }
    const uint64_t bytes = w.size();
    w.finish();
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d property contexts of %zu values: %.2f s = %.0f a second, %.0f file bytes each\n", count,
                props.size(), secs, count / secs, static_cast<double>(bytes) / count);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ltp-pc-bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
