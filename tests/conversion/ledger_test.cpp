#include "conversion/ledger.h"

#include <gtest/gtest.h>
#include <glib.h>
#include <sqlite3.h>

#include <fstream>

#include "platform/path_text.h"
#include "tests/conversion/temp_dir.h"

namespace conversion {
namespace {

using test::TempDir;

std::string readAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

Sha256Digest digestOf(uint8_t seed) {
  Sha256Digest digest{};
  digest.fill(seed);
  return digest;
}

TEST(Ledger, LaterRunsTellNewChangedUnchangedSkippedAndGoneFiles) {
  TempDir dir;
  const auto file = dir.path() / "migration.ledger";
  const FileStamp stamp{100, 1'700'000'000'000'000'000};
  int digestsRead = 0;
  auto reading = [&](Sha256Digest digest) {
    return [&digestsRead, digest] {
      ++digestsRead;
      return std::optional<Sha256Digest>(digest);
    };
  };
  std::string problem;
  {
    auto ledger = Ledger::open(file, &problem);
    ASSERT_TRUE(ledger) << problem;
    for (const char* path : {"a.msg", "b.msg", "c.msg", "d.msg", "e.msg"})
      EXPECT_EQ(ledger->classify("/store", path, stamp, reading(digestOf(1))), LedgerChange::New);
    for (const char* path : {"a.msg", "b.msg", "c.msg", "e.msg"})
      ledger->recordConverted("/store", path, stamp, digestOf(1), "Vantorel.pst", "Users\\a");
    ledger->recordSkipped("/store", "d.msg", stamp, "not Internet mail");
    ledger->recordConverted("/store", "a.msg", stamp, digestOf(1), "Vantorel.pst", "Users\\a", uint8_t{3});
    // Changed while it was converted: no digest, so that a later run sees it as changed.
    ledger->recordConverted("/store", "f.msg", stamp, std::nullopt, "Vantorel.pst", "Users");
    ASSERT_TRUE(ledger->commit(&problem)) << problem;
    // A file converted and dropped by a run that died before its PST was complete.
    ledger->recordConverted("/store", "lost.msg", stamp, digestOf(1), "Vantorel.pst", "Users");
  }
  EXPECT_EQ(digestsRead, 0);

  auto ledger = Ledger::open(file, &problem);
  ASSERT_TRUE(ledger) << problem;
  std::optional<LedgerEntry> recorded;
  EXPECT_EQ(ledger->classify("/store", "a.msg", stamp, reading(digestOf(1)), &recorded), LedgerChange::Unchanged);
  EXPECT_EQ(digestsRead, 0) << "an unchanged stamp must not cost a read";
  EXPECT_EQ(recorded->status, uint8_t{3}) << "the server state it was converted with";
  const FileStamp touched{100, stamp.modifiedNs + 1};
  EXPECT_EQ(ledger->classify("/store", "b.msg", touched, reading(digestOf(1))), LedgerChange::Unchanged);
  EXPECT_EQ(ledger->classify("/store", "c.msg", touched, reading(digestOf(2))), LedgerChange::Changed);
  EXPECT_EQ(digestsRead, 2);
  EXPECT_EQ(ledger->classify("/store", "f.msg", touched, reading(digestOf(1))), LedgerChange::Changed);
  EXPECT_EQ(ledger->classify("/store", "d.msg", stamp, reading(digestOf(1))), LedgerChange::SkippedLast);
  EXPECT_EQ(ledger->classify("/store", "lost.msg", stamp, reading(digestOf(1))), LedgerChange::New);
  EXPECT_EQ(ledger->classify("/other", "a.msg", stamp, reading(digestOf(1))), LedgerChange::New);
  EXPECT_EQ(ledger->takeGone("/store"), std::vector<std::string>{"e.msg"});
  EXPECT_TRUE(ledger->takeGone("/store").empty()) << "a gone file is reported once";
  // A file that fails now keeps the record of the PST that holds its earlier version.
  ledger->recordSkipped("/store", "c.msg", touched, "damaged");
  ASSERT_TRUE(ledger->commit(&problem)) << problem;
  const auto c = ledger->find("/store", "c.msg");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->pstFile, "Vantorel.pst");
  EXPECT_TRUE(c->skipReason.empty());
  EXPECT_EQ(ledger->find("/store", "b.msg")->stamp, touched) << "the same bytes under a new time are remembered";

  const auto abc = dir.write("abc.msg", "abc");
  EXPECT_EQ(HexOf(*Sha256OfFile(abc, &problem)), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_FALSE(Sha256OfFile(dir.path() / "none.msg", &problem));
}

TEST(Ledger, RefusesForeignDamagedAndBusyFilesWithoutWritingThem) {
  TempDir dir;
  std::string problem;

  const auto text = dir.path() / "notes.txt";
  std::ofstream(text, std::ios::binary) << "my notes, not a ledger\n";
  EXPECT_FALSE(Ledger::open(text, &problem));
  EXPECT_NE(problem.find("is not a Vantorel ledger"), std::string::npos) << problem;
  EXPECT_EQ(readAll(text), "my notes, not a ledger\n");

  const auto other = dir.path() / "other.sqlite";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(platform::pathText(other).c_str(), &db), SQLITE_OK);
  sqlite3_exec(db, "CREATE TABLE t(x); INSERT INTO t VALUES(1);", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  const std::string before = readAll(other);
  EXPECT_FALSE(Ledger::open(other, &problem));
  EXPECT_NE(problem.find("database of another program"), std::string::npos) << problem;
  EXPECT_EQ(readAll(other), before);

  const auto file = dir.path() / "migration.ledger";
  {
    auto ledger = Ledger::open(file, &problem);
    ASSERT_TRUE(ledger) << problem;
    EXPECT_FALSE(Ledger::open(file, &problem)) << "two runs on one ledger";
    EXPECT_NE(problem.find("in use by another run"), std::string::npos) << problem;
  }
  EXPECT_TRUE(Ledger::open(file, &problem)) << "the ledger is free again once closed: " << problem;

  // A ledger whose pages were overwritten in the middle.
  {
    auto ledger = Ledger::open(file, &problem);
    for (int i = 0; i < 2000; ++i)
      ledger->recordConverted("/store", "m" + std::to_string(i) + ".msg", {1, 1}, digestOf(3), "p.pst", "f");
    ASSERT_TRUE(ledger->commit(&problem)) << problem;
  }
  {
    std::fstream damage(file, std::ios::in | std::ios::out | std::ios::binary);
    damage.seekp(4096 * 3);
    const std::string junk(4096, '\x5a');
    damage.write(junk.data(), static_cast<std::streamsize>(junk.size()));
  }
  EXPECT_FALSE(Ledger::open(file, &problem));
  EXPECT_NE(problem.find("damaged"), std::string::npos) << problem;
}

}  // namespace
}  // namespace conversion

namespace conversion {
namespace {

// The digests of the two ways (the processor's SHA instructions where it has them, and the
// portable one) against GLib's, over sizes around every padding case and updates in pieces.
TEST(Sha256, AgreesWithGlibBothWays) {
  EXPECT_EQ(HexOf(mail::Sha256Of("abc", 3)), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  std::string bytes(3000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 131 + 7) ^ (i >> 5));
  const bool hardware = mail::Sha256::hardware();
  for (bool use : {true, false}) {
    mail::Sha256::setHardware(use);
    for (size_t size : {0, 1, 55, 56, 63, 64, 65, 119, 120, 128, 1000, 3000}) {
      gchar* expected = g_compute_checksum_for_data(G_CHECKSUM_SHA256, reinterpret_cast<const guchar*>(bytes.data()), size);
      mail::Sha256 pieces;
      for (size_t at = 0; at < size; at += 37) pieces.update(bytes.data() + at, std::min<size_t>(37, size - at));
      EXPECT_EQ(HexOf(mail::Sha256Of(bytes.data(), size)), expected) << size << (use ? " with" : " without");
      EXPECT_EQ(HexOf(pieces.finish()), expected) << size << " in pieces";
      g_free(expected);
    }
  }
  mail::Sha256::setHardware(hardware);
}

}  // namespace
}  // namespace conversion
