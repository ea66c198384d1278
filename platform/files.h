// Files by descriptor: how the engine opens, reads, writes and completes files. A descriptor
// is an int on both systems (on Windows a C runtime descriptor over the native handle), so
// that it can be kept in plain tables and passed between layers as before. A function that
// fails returns -1 with errno set, as the POSIX calls do; an interrupted call is retried.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace platform {

// How openForReading opens, combined with |.
enum ReadOpening : unsigned {
  kReadPlain = 0,
  kNoWait = 1u << 0,          // never waits, as for a named pipe without a writer
  kKeepAccessTime = 1u << 1,  // leaves the access time alone where the system lets us
  kNoFollow = 1u << 2,        // fails on a link instead of opening what it names
};

// Opens for reading only; another program may go on writing or deleting the file.
int openForReading(const std::filesystem::path& file, unsigned how = kReadPlain);
// Creates `file` for writing only if no file of that name exists (EEXIST otherwise).
int createNew(const std::filesystem::path& file);

// Bytes read (0 at the end) or -1.
long long readSome(int fd, void* into, size_t size);
long long writeSome(int fd, const void* from, size_t size);
// At `offset`. On Windows these move the descriptor's position as well: a descriptor is used
// either with readAt/writeAt or with readSome/writeSome, never both.
long long readAt(int fd, void* into, size_t size, uint64_t offset);
long long writeAt(int fd, const void* from, size_t size, uint64_t offset);

// Sets the length (zeros past the data); 0 or -1.
int resize(int fd, uint64_t length);
// Makes everything written durable on the disk; 0 or -1.
int flushToDisk(int fd);
// 0, or -1 when the system reports a late failure of earlier writes.
int closeFile(int fd);
// A second descriptor of the same open file, closed separately.
int duplicate(int fd);

// A C stream over `file`, opened as std::fopen does with `mode`; nullptr with errno set.
std::FILE* openStream(const std::filesystem::path& file, const char* mode);

}  // namespace platform
