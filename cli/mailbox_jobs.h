// --jobs: the mailboxes of a --per-mailbox run converted side by side, each run with readers
// of its own.
#pragma once

#include <cstddef>
#include <functional>

namespace cli {

// The most mailboxes converted at once: each holds an unfinished PST file that a second stop
// signal must be able to remove (conversion::kMostUnfinishedFiles).
inline constexpr unsigned kMostJobs = 64;

// Mailboxes converted at once when --jobs is not given: the cores this process may run on,
// divided by the readers each run starts, at least 1 and at most kMostJobs. On two cores one:
// a second run would only take the cores the first one's readers use.
unsigned DefaultJobs();

// Calls `work(0)`, `work(1)`... `work(count - 1)`, each once, starting them in that order, with
// at most `jobs` running at a time. With one job (or one item) they run on the calling thread.
// Returns when every call has returned. A thread that cannot be started leaves its share to the
// others; an exception from `work` is thrown again here once the others have ended.
void RunJobs(size_t count, unsigned jobs, const std::function<void(size_t index)>& work);

}  // namespace cli
