// Importer benchmarks:
//   bench_mail make FILE MEGABYTES   writes a message with one attachment of that size
//   bench_mail import FILE           imports it and checks the attachment came through whole
//   bench_mail corpus DIR ROUNDS     messages per second over a folder of .msg files
//   bench_mail scaling               time for N and 4N recipients/attachments/lines; fails when
//                                    growth is far beyond linear
//   bench_mail hostile KIND FILE N   writes a message crafted against the reader (see
//                                    writeHostile); `read FILE` then imports any message, for
//                                    /usr/bin/time -v to measure
//   bench_mail read FILE             imports FILE and says what came of it
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "mail/importer.h"
#include "mail/tags.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

int makeLarge(const char* file, long megabytes) {
  std::ofstream out(file, std::ios::binary);
  out << "From: Big <big@example.com>\r\nTo: you@example.com\r\nSubject: large attachment\r\n"
         "Date: Mon, 7 Dec 2026 10:00:00 +0000\r\nMIME-Version: 1.0\r\n"
         "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\nsee attached\r\n"
         "--b\r\nContent-Type: application/octet-stream; name=\"big.bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
  // 57 bytes of pseudo-random data per 76-character base64 line.
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const long lines = megabytes * 1024 * 1024 / 57;
  std::string line(76, 'A');
  uint32_t state = 12345;
  for (long i = 0; i < lines; ++i) {
    for (char& c : line) {
      state = state * 1103515245 + 12345;
      c = alphabet[(state >> 16) & 63];
    }
    out << line << "\r\n";
  }
  out << "--b--\r\n";
  return 0;
}

int importOne(const char* file) {
  const auto start = Clock::now();
  const auto result = mail::importMessageFile(file);
  if (!result.ok || result.message.attachments.size() != 1) {
    std::cerr << "import failed: " << result.reason << "\n";
    return 1;
  }
  size_t size = 0;
  for (const auto& prop : result.message.attachments[0].props) {
    if (prop.tag == mail::tags::PidTagAttachDataBinary) size = std::get<pst::Bytes>(prop.value).size();
  }
  std::cout << "imported " << std::filesystem::file_size(file) / 1e6 << " MB file, attachment " << size / 1e6
            << " MB, in " << seconds(start) << " s\n";
  return 0;
}

// Messages as hostile senders and broken clients make them, sized by `n`.
int writeHostile(const std::string& kind, const char* file, long n) {
  std::ofstream out(file, std::ios::binary);
  const std::string head = "From: a@example.com\nSubject: hostile\nDate: Mon, 7 Dec 2026 10:00:00 +0000\n";
  if (kind == "nested-groups") {  // n groups, each inside the one before
    out << head << "To: ";
    for (long i = 0; i < n; ++i) out << "g:";
    out << " x@y ";
    for (long i = 0; i < n; ++i) out << ";";
    out << "\n\nbody\n";
  } else if (kind == "recipients") {  // n recipients in one To field
    out << head << "To: ";
    for (long i = 0; i < n; ++i) out << (i ? ",\n " : "") << "user" << i << "@example.com";
    out << "\n\nbody\n";
  } else if (kind == "long-subject") {  // a one-line subject of n MB
    out << "From: a@example.com\nSubject: ";
    const std::string chunk(1 << 20, 'x');
    for (long i = 0; i < n; ++i) out << chunk;
    out << "\n\nbody\n";
  } else if (kind == "html-ampersands") {  // an HTML-only body of n MB of '&' without ';'
    out << head << "Content-Type: text/html\n\n";
    const std::string chunk(1 << 20, '&');
    for (long i = 0; i < n; ++i) out << chunk;
  } else if (kind == "text") {  // a plain body of n MB
    out << head << "\n";
    std::string line(76, 'a');
    line += "\n";
    for (long i = 0; i < n * (1 << 20) / 77; ++i) out << line;
  } else {
    std::cerr << "unknown kind " << kind << "\n";
    return 2;
  }
  return out ? 0 : 1;
}

int readOne(const char* file) {
  const auto start = Clock::now();
  const auto result = mail::importMessageFile(file);
  const double elapsed = seconds(start);
  if (!result.ok) {
    std::printf("refused in %.2f s: %s\n", elapsed, result.reason.c_str());
    return 0;
  }
  std::printf("imported in %.2f s: %zu recipients, %zu attachments\n", elapsed, result.message.recipients.size(),
              result.message.attachments.size());
  return 0;
}

int corpus(const char* dir, int rounds) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    if (entry.path().extension() == ".msg") files.push_back(entry.path());
  }
  const auto start = Clock::now();
  const std::clock_t cpuStart = std::clock();
  size_t imported = 0;
  for (int round = 0; round < rounds; ++round) {
    for (const auto& file : files) imported += mail::importMessageFile(file).ok ? 1 : 0;
  }
  const double elapsed = seconds(start);
  // CPU time too: on a shared machine the wall clock mostly measures the neighbours.
  const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  std::printf("corpus: %zu imports in %.2f s = %.0f messages/s (CPU %.2f s = %.0f messages/s)\n", imported, elapsed,
              imported / elapsed, cpu, imported / cpu);
  return 0;
}

std::string manyRecipients(int n) {
  std::string m = "From: a@example.com\nTo: ";
  for (int i = 0; i < n; ++i) m += (i ? ",\n " : "") + std::string("user") + std::to_string(i) + "@example.com";
  return m + "\nSubject: many\n\nbody\n";
}

std::string manyAttachments(int n) {
  std::string m = "From: a@example.com\nSubject: many\nContent-Type: multipart/mixed; boundary=b\n\n--b\n"
                  "Content-Type: text/plain\n\nbody\n";
  for (int i = 0; i < n; ++i) m += "--b\nContent-Type: image/png\nContent-ID: <i" + std::to_string(i) + ">\n\nPNG\n";
  return m + "--b--\n";
}

std::string manyHeaderLines(int n) {
  std::string m = "From: a@example.com\nSubject: ";
  for (int i = 0; i < n; ++i) m += (i ? "\n =?utf-8?B?" : "=?utf-8?B?") + std::string("w6TDtsO8?=");
  for (int i = 0; i < n; ++i) m += "\nReceived: from h" + std::to_string(i) + " by x; Mon, 7 Dec 2026 10:00:00 +0000";
  return m + "\n\nbody\n";
}

std::string unterminatedEncodedWords(int n) {
  std::string junk;
  for (int i = 0; i < n; ++i) junk += "=?x?Q?aa";
  return "From: " + junk + " <a@example.com>\nSubject: " + junk + "\n\nbody\n";
}

std::string htmlAmpersands(int n) {
  return "From: a@example.com\nContent-Type: text/html\n\n<p>" + std::string(static_cast<size_t>(n) * 400, '&') + "</p>\n";
}

std::string inlineImages(int n) {
  std::string m = "From: a@example.com\nSubject: pictures\nContent-Type: multipart/related; boundary=b\n\n--b\n"
                  "Content-Type: text/html\n\n<html><body>";
  for (int i = 0; i < n; ++i) m += "<img src=\"cid:i" + std::to_string(i) + "@x\">";
  m += "</body></html>\n";
  for (int i = 0; i < n; ++i) m += "--b\nContent-Type: image/png\nContent-ID: <i" + std::to_string(i) + "@x>\n\nPNG\n";
  return m + "--b--\n";
}

std::string toFields(int n) {
  std::string m = "From: a@example.com\nSubject: many fields\n";
  for (int i = 0; i < n; ++i) m += "To: user" + std::to_string(i) + "@example.com\n";
  return m + "\nbody\n";
}

double timeImport(const std::string& message) {
  const auto start = Clock::now();
  const auto result = mail::importMessageBytes(message, 0);
  if (!result.ok) std::abort();
  return seconds(start);
}

int scaling() {
  int status = 0;
  const struct {
    const char* what;
    std::string (*make)(int);
  } cases[] = {{"recipients", manyRecipients},   {"attachments", manyAttachments},
                 {"header lines", manyHeaderLines}, {"'=?' junk", unterminatedEncodedWords},
                 {"html '&'", htmlAmpersands},      {"cid: images", inlineImages},
                 {"To fields", toFields}};
  for (const auto& c : cases) {
    const int n = 5000;
    const double small = timeImport(c.make(n));
    const double large = timeImport(c.make(4 * n));
    const double ratio = large / small;
    std::printf("%-12s %6d: %.3f s, %6d: %.3f s, ratio %.1f (linear 4)\n", c.what, n, small, 4 * n, large, ratio);
    if (ratio > 10) status = 1;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "make" && argc == 4) return makeLarge(argv[2], std::atol(argv[3]));
  if (command == "import" && argc == 3) return importOne(argv[2]);
  if (command == "corpus" && argc == 4) return corpus(argv[2], std::atoi(argv[3]));
  if (command == "scaling") return scaling();
  if (command == "hostile" && argc == 5) return writeHostile(argv[2], argv[3], std::atol(argv[4]));
  if (command == "read" && argc == 3) return readOne(argv[2]);
  std::cerr << "usage: bench_mail make FILE MB | import FILE | corpus DIR ROUNDS | scaling | hostile KIND FILE N |"
               " read FILE\n";
  return 2;
}
