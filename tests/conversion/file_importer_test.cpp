// The prefetching importer: results in the order asked whatever was announced, bounded
// read-ahead, and failures handed to the caller as the direct importer hands them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "conversion/file_importer.h"

namespace conversion::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Files named "big-N" read as N bytes, "throw" fails to read, "bad" parses as no message;
// every other file parses to a message holding its name and as many bytes as were read.
class FakeSteps {
 public:
  ImportSteps steps() {
    return ImportSteps{
        [this](const fs::path& file) {
          {
            std::lock_guard lock(mutex_);
            read_.push_back(file.string());
          }
          if (file == "throw") throw std::runtime_error("disk on fire");
          mail::MessageFileData data;
          data.size = file.string().rfind("big-", 0) == 0 ? std::stoul(file.string().substr(4)) : 10;
          data.bytes.reset(static_cast<uint8_t*>(malloc(file.string().size() + 1)));
          memcpy(data.bytes.get(), file.c_str(), file.string().size() + 1);
          return data;
        },
        [](mail::MessageFileData data) {
          mail::ImportResult result;
          const std::string name(reinterpret_cast<const char*>(data.bytes.get()));
          if (name == "bad") {
            result.reason = "not a message";
            return result;
          }
          result.ok = true;
          result.message.props.push_back(pst::Property{0x0037001F, name});
          result.message.props.push_back(pst::Property{0x10000102, pst::Bytes(data.size)});  // as big as read
          return result;
        }};
  }
  std::vector<std::string> read() {
    std::lock_guard lock(mutex_);
    return read_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> read_;
};

std::string nameOf(const mail::ImportResult& result) { return std::get<std::string>(result.message.props.at(0).value); }

void waitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 400 && !condition(); ++i) std::this_thread::sleep_for(5ms);
}

TEST(PrefetchingImporter, GivesEachFileItsOwnResultWhateverTheAnnouncements) {
  FakeSteps fake;
  auto importer = makePrefetchingImporter(fake.steps(), 3, 1 << 20);
  for (const char* name : {"a", "b", "c", "d", "bad", "e"}) importer->expect(name);
  EXPECT_EQ(nameOf(importer->import("a")), "a");
  EXPECT_EQ(nameOf(importer->import("c")), "c");  // "b" was passed over
  EXPECT_EQ(nameOf(importer->import("x")), "x");  // never announced
  EXPECT_EQ(nameOf(importer->import("d")), "d");  // announced before "x" was asked for: read anew
  const mail::ImportResult bad = importer->import("bad");
  EXPECT_FALSE(bad.ok);
  EXPECT_EQ(bad.reason, "not a message");
  EXPECT_EQ(nameOf(importer->import("a")), "a");  // asked twice: imported twice
}

TEST(PrefetchingImporter, ReadsAheadNoFurtherThanItsBounds) {
  FakeSteps fake;
  auto importer = makePrefetchingImporter(fake.steps(), 2, 1 << 20);
  for (const char* name : {"a", "b", "c", "d", "e"}) importer->expect(name);
  waitFor([&] { return fake.read().size() >= 2; });
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(fake.read(), (std::vector<std::string>{"a", "b"}));
  importer->import("a");
  waitFor([&] { return fake.read().size() >= 3; });
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(fake.read(), (std::vector<std::string>{"a", "b", "c"}));

  // By size: one message over the byte bound is read alone, and still goes through.
  FakeSteps sized;
  auto byBytes = makePrefetchingImporter(sized.steps(), 8, 1000);
  for (const char* name : {"big-5000", "small", "big-600", "big-600", "tail"}) byBytes->expect(name);
  waitFor([&] { return !sized.read().empty(); });
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(sized.read(), (std::vector<std::string>{"big-5000"}));
  EXPECT_EQ(nameOf(byBytes->import("big-5000")), "big-5000");
  EXPECT_EQ(nameOf(byBytes->import("small")), "small");
  EXPECT_EQ(nameOf(byBytes->import("big-600")), "big-600");
}

TEST(PrefetchingImporter, AReadFailureReachesTheCallerAndTheNextFilesStillCome) {
  FakeSteps fake;
  auto importer = makePrefetchingImporter(fake.steps(), 4, 1 << 20);
  for (const char* name : {"a", "throw", "b"}) importer->expect(name);
  EXPECT_EQ(nameOf(importer->import("a")), "a");
  EXPECT_THROW(importer->import("throw"), std::runtime_error);
  EXPECT_EQ(nameOf(importer->import("b")), "b");
}

TEST(PrefetchingImporter, ClosingWithAnnouncedFilesLeftReadsNoMore) {
  FakeSteps fake;
  {
    auto importer = makePrefetchingImporter(fake.steps(), 2, 1 << 20);
    for (int i = 0; i < 50; ++i) importer->expect("f" + std::to_string(i));
    importer->import("f0");
  }
  EXPECT_LE(fake.read().size(), 4u);
}

}  // namespace
}  // namespace conversion::test
