// Writes N small mail messages (subject, sender, body, two recipients) into a store and reports
// the time per half, the time of close(), the growth of the resident memory per message and the
// peak resident memory. With FOLDERS > 1, one fifth of the messages go into the first folder and
// the rest are dealt round-robin to the others, the shape of a large real mailbox.
// Usage: bench_messaging OUT.pst [N] [FOLDERS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "pst/messaging/store.h"

namespace {

// Resident set size in bytes, from /proc.
uint64_t residentBytes() {
  std::ifstream in("/proc/self/statm");
  uint64_t pages = 0, resident = 0;
  in >> pages >> resident;
  return resident * 4096;
}

// The highest resident set size so far (VmHWM), in bytes.
uint64_t peakResidentBytes() {
  std::ifstream in("/proc/self/status");
  std::string key;
  while (in >> key) {
    if (key == "VmHWM:") {
      uint64_t kb = 0;
      in >> kb;
      return kb * 1024;
    }
    in.ignore(1 << 20, '\n');
  }
  return 0;
}

double since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

pst::messaging::MessageContent message(int i) {
  pst::messaging::MessageContent m;
  m.props = {{0x0037001F, "Quarterly report, revision " + std::to_string(i)},
             {0x0042001F, std::string("Alice Example")},
             {0x0E04001F, std::string("Bob Example; Carol Example")},
             {0x0E070003, int32_t{1}},
             {0x0E060040, uint64_t{0x01DB7E3B23A54963} + static_cast<uint64_t>(i)},
             {0x1000001F, "Hello Bob,\n\nplease find the figures for week " + std::to_string(i % 52) +
                              " below.\n\n" + std::string(600, 'x') + "\n\nRegards, Alice\n"}};
  for (const char* name : {"Bob Example", "Carol Example"})
    m.recipients.push_back({{0x0C150003, int32_t{1}}, {0x3001001F, std::string(name)},
                            {0x3002001F, std::string("SMTP")}, {0x3003001F, std::string("bob@example.org")}});
  return m;
}

double mb(uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_messaging OUT.pst [N] [FOLDERS]\n");
    return 2;
  }
  const int n = argc > 2 ? std::atoi(argv[2]) : 200000;
  const int folderCount = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
  if (n < 2000) {
    std::fprintf(stderr, "bench_messaging: N must be at least 2,000\n");
    return 2;
  }
  try {
    const auto start = std::chrono::steady_clock::now();
    auto store = pst::messaging::Store::create(argv[1], "Bench");
    std::vector<pst::messaging::FolderId> folders;
    for (int k = 0; k < folderCount; ++k)
      folders.push_back(store->createFolder(store->ipmSubtree(), k == 0 ? "Bulk" : "Folder " + std::to_string(k)));
    // Message i goes to the big folder when it is one of every five, else to the next other folder.
    auto folderOf = [&](int i) { return folderCount == 1 || i % 5 == 0 ? folders[0] : folders[1 + i % (folderCount - 1)]; };
    // Warm up so that buffers and the first allocations do not count as growth.
    for (int i = 0; i < 1000; ++i) store->addMessage(folderOf(i), message(i));
    const uint64_t rssStart = residentBytes();
    auto half = std::chrono::steady_clock::now();
    double firstHalf = 0;
    for (int i = 1000; i < n; ++i) {
      store->addMessage(folderOf(i), message(i));
      if (i == n / 2) {
        firstHalf = since(half);
        half = std::chrono::steady_clock::now();
      }
    }
    const double secondHalf = since(half);
    const uint64_t rssEnd = residentBytes();
    const uint64_t peakAdding = peakResidentBytes();
    const auto closing = std::chrono::steady_clock::now();
    store->close();
    const double closeSecs = since(closing);
    const double total = since(start);
    const uint64_t peak = peakResidentBytes();
    const double perMessage = static_cast<double>(rssEnd - rssStart) / (n - 1000);
    std::ifstream f(argv[1], std::ios::binary | std::ios::ate);
    std::printf("%d messages in %d folder(s) (%d in the largest): %.1f s total (%.0f messages/s), "
                "halves %.1f s / %.1f s, close %.1f s\n",
                n, folderCount, folderCount == 1 ? n : (n + 4) / 5, total, n / total, firstHalf, secondHalf,
                closeSecs);
    std::printf("file %.1f MB; resident memory grew %.1f bytes per message while adding; peak resident "
                "%.1f MiB while adding, %.1f MiB overall (close added %.1f MiB)\n",
                static_cast<double>(f.tellg()) / 1e6, perMessage, mb(peakAdding), mb(peak),
                mb(peak > rssEnd ? peak - rssEnd : 0));
    if (secondHalf > 1.5 * firstHalf + 1) {
      std::printf("FAIL: the second half was much slower than the first\n");
      return 1;
    }
    if (perMessage > 256) {
      std::printf("FAIL: more than 256 bytes of memory per message\n");
      return 1;
    }
    if (peak > 256ull * 1024 * 1024) {
      std::printf("FAIL: peak resident memory above 256 MiB\n");
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_messaging: %s\n", e.what());
    return 1;
  }
  return 0;
}
