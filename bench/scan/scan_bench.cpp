// Times the add-folder command's scan and message filter on trees of 100,000 and 200,000
// files and fails when the cost grows faster than linearly.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "messagelist/message_filter.h"
#include "messagelist/path_logger.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFilesPerFolder = 100;
constexpr int kFoldersPerGroup = 50;

// <root>/g<group>/f<folder>/ with 100 files each: nine messages in ten, the rest decoys.
void buildTree(const fs::path& root, int files) {
  for (int folder = 0; folder * kFilesPerFolder < files; ++folder) {
    const fs::path dir = root / ("g" + std::to_string(folder / kFoldersPerGroup)) /
                         ("f" + std::to_string(folder));
    fs::create_directories(dir);
    for (int i = 0; i < kFilesPerFolder && folder * kFilesPerFolder + i < files; ++i) {
      const std::string name = std::to_string(i) + (i % 10 == 9 ? ".eml" : ".msg");
      const int fd = ::open((dir / name).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
      if (fd < 0) {
        std::perror(("cannot create " + (dir / name).string()).c_str());
        std::exit(2);
      }
      ::close(fd);
    }
  }
}

struct Result {
  double seconds;  // wall clock
  double cpu;      // this process's processor time, less disturbed by other load
  std::size_t recorded;
  std::size_t messages;
};

// What the add-folder command does before it adds rows: scan, keep the list, keep the messages.
Result scanAndFilter(const std::string& root) {
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t cpuStart = std::clock();
  messagelist::pathLogger logger;
  logger.PathLogInit();
  logger.fullFileNamesOnly(true);
  logger.LogPath(root);
  const auto files = logger.fullFileNames();
  logger.Terminate();
  std::size_t messages = 0;
  for (const std::string& path : *files) messages += messagelist::IsMessageFileName(path);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  return {took.count(), cpu, files->count(), messages};
}

// The best of a few runs, so that another process on the machine does not decide the ratio.
Result best(const std::string& root) {
  Result r = scanAndFilter(root);
  for (int i = 0; i < 4; ++i) {
    const Result again = scanAndFilter(root);
    r.seconds = std::min(r.seconds, again.seconds);
    r.cpu = std::min(r.cpu, again.cpu);
  }
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path base = argc > 1 && argv[1][0] ? fs::path(argv[1]) : fs::temp_directory_path();
  std::string pattern = (base / "vantorel-bench-scan-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    std::perror("cannot create a scratch folder; pass a writable folder as the first argument");
    return 2;
  }
  const fs::path scratch = pattern;

  const int sizes[] = {100'000, 200'000};
  Result results[2];
  for (int k = 0; k < 2; ++k) {
    const fs::path root = scratch / std::to_string(sizes[k]);
    buildTree(root, sizes[k]);
    results[k] = best(root.string());
    std::printf("scan+filter %7d files: %.3f s wall, %.3f s cpu (%zu recorded, %zu messages)\n",
                sizes[k], results[k].seconds, results[k].cpu, results[k].recorded,
                results[k].messages);
  }
  fs::remove_all(scratch);

  const double ratio = results[1].seconds / results[0].seconds;
  const double cpuRatio = results[1].cpu / results[0].cpu;
  std::printf("ratio 200k/100k: %.2f wall, %.2f cpu (2.00 is linear)\n", ratio, cpuRatio);
  bool ok = true;
  for (int k = 0; k < 2; ++k) {
    if (results[k].recorded != static_cast<std::size_t>(sizes[k]) ||
        results[k].messages != static_cast<std::size_t>(sizes[k]) / 10 * 9) {
      std::printf("FAIL: the %d-file tree was not scanned completely\n", sizes[k]);
      ok = false;
    }
  }
  if (std::min(ratio, cpuRatio) > 2.6) {
    std::printf("FAIL: doubling the tree more than doubled the time; look for a quadratic step\n");
    ok = false;
  }
  return ok ? 0 : 1;
}
