// Builds a contents-table-like TC of ROWS rows, updates every row once (as the messaging layer
// does when a message changes its folder's counts), writes it and reports time and size per row.
// Usage: ltp-table-bench OUT.pst [ROWS]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pst/ltp/table_context.h"

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

long peakKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: ltp-table-bench OUT.pst [ROWS]\n");
    return 2;
  }
  const uint32_t rows = argc == 3 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 0)) : 200000;
  using pst::PropType;
  using pst::makeTag;
  const pst::PropTag subject = makeTag(0x0037, PropType::Unicode), sender = makeTag(0x0042, PropType::Unicode),
                     delivery = makeTag(0x0E06, PropType::Time), flags = makeTag(0x0E07, PropType::Int32),
                     size = makeTag(0x0E08, PropType::Int32), cls = makeTag(0x001A, PropType::Unicode),
                     importance = makeTag(0x0017, PropType::Int32), attach = makeTag(0x0E1B, PropType::Boolean),
                     read = makeTag(0x0E69, PropType::Boolean), submit = makeTag(0x0039, PropType::Time);
  try {
    const long before = peakKb();
    const auto start = std::chrono::steady_clock::now();
    pst::ltp::TableContextBuilder table({importance, cls, flags, size, subject, submit, sender, delivery, attach, read});
    for (uint32_t i = 0; i < rows; ++i) {
      const std::vector<pst::Property> cells = {
          {importance, int32_t{1}},
          {cls, std::string("IPM.Note")},
          {flags, int32_t{1}},
          {size, static_cast<int32_t>(1000 + i % 50000)},
          {subject, "Re: quarterly report, draft " + std::to_string(i)},
          {submit, uint64_t{0x01DA000000000000} + i},
          {sender, std::string("Someone Sender")},
          {delivery, uint64_t{0x01DA000000000000} + i},
          {attach, int32_t{i % 3 == 0}},
      };
      table.addRow(pst::makeNid(pst::NidType::NormalMessage, 0x10000 + i), cells);
    }
    const double built = seconds(start);
    const auto updateStart = std::chrono::steady_clock::now();
    for (uint32_t i = 0; i < rows; ++i) {
      const std::vector<pst::Property> cells = {{read, int32_t{1}}, {flags, int32_t{17}}};
      table.updateRow(pst::makeNid(pst::NidType::NormalMessage, 0x10000 + i), cells);
    }
    const double updated = seconds(updateStart);
    const long afterBuild = peakKb();
    const auto writeStart = std::chrono::steady_clock::now();
    pst::ndb::NdbWriter w(argv[1]);
    pst::ltp::SubnodeBuilder subs;
    const pst::Bid data = table.write(w, subs);
    w.addNode(pst::makeNid(pst::NidType::ContentsTable, 0x400), data, subs.write(w), 0);
    const uint64_t bytes = w.size();
    w.finish();
    const double written = seconds(writeStart);
    std::printf("%u rows: build %.2f s, %u updates %.2f s, write %.2f s, total %.2f s\n", rows, built, rows, updated,
                written, seconds(start));
    std::printf("file %.1f bytes/row; builder peak memory %.0f bytes/row (whole process %.0f bytes/row)\n",
                static_cast<double>(bytes) / rows, (afterBuild - before) * 1024.0 / rows, peakKb() * 1024.0 / rows);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ltp-table-bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
