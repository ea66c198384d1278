#include "cli/mailbox_jobs.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "conversion/part_file.h"
#include "conversion/reader_pool.h"
#include "platform/system_facts.h"

namespace cli {

static_assert(kMostJobs <= conversion::kMostUnfinishedFiles, "a second stop signal must reach every job's PST file");

unsigned DefaultJobs() {
  const size_t readers = std::max<size_t>(1, conversion::ReaderPoolSettings{}.readers);
  return static_cast<unsigned>(std::clamp<size_t>(platform::usableCores() / readers, 1, kMostJobs));
}

void RunJobs(size_t count, unsigned jobs, const std::function<void(size_t index)>& work) {
  const size_t threads = std::min<size_t>(count, std::max(1u, jobs));
  if (threads <= 1) {
    for (size_t i = 0; i < count; ++i) work(i);
    return;
  }
  std::atomic<size_t> next{0};
  std::mutex failureLock;
  std::exception_ptr failure;
  std::atomic<bool> failed{false};
  const auto worker = [&] {
    // After a failure no mailbox is started, as a run of one job would start none.
    for (size_t i = next++; i < count && !failed; i = next++) {
      try {
        work(i);
      } catch (...) {
        std::lock_guard lock(failureLock);
        if (!failure) failure = std::current_exception();
        failed = true;
      }
    }
  };
  std::vector<std::thread> started;
  for (size_t t = 1; t < threads; ++t) {
    try {
      started.emplace_back(worker);
    } catch (const std::system_error&) {
      break;  // the limit on threads is reached: fewer jobs share the mailboxes
    }
  }
  worker();  // the calling thread is one of the jobs
  for (std::thread& thread : started) thread.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace cli
