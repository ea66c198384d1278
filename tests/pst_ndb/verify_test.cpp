// The verifier: clean on Outlook's files and on ours, and it catches seeded corruptions.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

#include "pst/ndb/allocation_map.h"
#include "pst/ndb/bt_page.h"
#include "pst/ndb/crc.h"
#include "pst/ndb/le.h"
#include "pst/ndb/ndb_reader.h"
#include "pst/ndb/ndb_writer.h"
#include "pst/verify/verify.h"
#include "temp_dir.h"

namespace pst::verify {
namespace {

using namespace ndb;

std::string describe(const Findings& f) {
  std::string s;
  for (const auto& i : f.items)
    s += (i.severity == Finding::Severity::Error ? "error: " : "warning: ") + i.where + ": " + i.message + "\n";
  return s;
}

bool hasError(const Findings& f, const std::string& text) {
  for (const auto& i : f.items)
    if (i.severity == Finding::Severity::Error && (i.message.find(text) != std::string::npos || i.where.find(text) != std::string::npos))
      return true;
  return false;
}

class Patch {
 public:
  explicit Patch(const std::filesystem::path& p) : path_(p) {
    std::ifstream in(p, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), {});
  }
  ~Patch() {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
  }
  uint8_t* at(uint64_t ib) { return bytes_.data() + ib; }
  // Recomputes a Unicode page's CRC so only the intended fault remains.
  void resealPage(uint64_t ib) { le::put<uint32_t>(at(ib) + 500, crc32({at(ib), 496})); }

 private:
  std::filesystem::path path_;
  std::vector<uint8_t> bytes_;
};

// Our own file with enough nodes and blocks for two-level B-trees, an XBLOCK and a subnode tree.
std::filesystem::path writeSample(const test::TempDir& dir, const std::string& name) {
  const auto path = dir.file(name);
  NdbWriter w(path);
  std::mt19937 rng(3);
  for (int i = 0; i < 400; ++i) {
    Bytes data(static_cast<size_t>(rng() % 3000 + 1));
    for (auto& b : data) b = static_cast<uint8_t>(rng());
    const Bid bid = w.writeData(data);
    Bid sub = 0;
    if (i % 50 == 0) sub = w.writeSubnodeTree({{0x1F, w.writeData(data), 0}, {0x3F, w.writeData(Bytes(20000, 7)), 0}});
    // Raw data: a node type that holds no heap, so the heap checks have nothing to object to.
    w.addNode(w.allocateNid(NidType::SearchUpdateQueue), bid, sub, makeNid(NidType::NormalFolder, 0x401));
  }
  w.finish();
  return path;
}

TEST(Verify, OutlookFilesHaveNoErrors) {
  for (const char* name : {"Empty.pst", "sample1.pst", "sample2.pst", "submessage.pst", "attachAndInline.pst",
                           "200-recipients.pst"}) {
    const auto f = verifyFile(test::referencePst(name));
    EXPECT_EQ(f.errorCount(), 0u) << name << "\n" << describe(f);
  }
  // Outlook's leftovers are reported, but only as warnings.
  const auto f = verifyFile(test::referencePst("submessage.pst"));
  EXPECT_NE(describe(f).find("upper 32 bits"), std::string::npos);
  EXPECT_NE(describe(verifyFile(test::referencePst("attachAndInline.pst"))).find("stale"), std::string::npos);
}

TEST(Verify, OurFilesHaveNoFindingsAtAll) {
  test::TempDir dir;
  const auto f = verifyFile(writeSample(dir, "ours.pst"));
  EXPECT_TRUE(f.items.empty()) << describe(f);
  const auto empty = dir.file("empty.pst");
  { NdbWriter w(empty); w.finish(); }
  const auto e = verifyFile(empty);
  EXPECT_TRUE(e.items.empty()) << describe(e);
}

struct Seeded {
  const char* name;
  const char* expect;
  void (*apply)(const NdbReader&, Patch&);
};

const Seeded kFaults[] = {
    {"flipped data byte", "CRC mismatch",
     [](const NdbReader& r, Patch& p) {
       for (const auto& b : r.blocks())
         if (!isInternalBid(b.bid) && b.cb > 0) {
           *p.at(b.ib) ^= 0x01;
           return;
         }
     }},
    {"wrong cRef", "references found",
     [](const NdbReader& r, Patch& p) {
       // The first leaf of the BBT: bump the first entry's cRef and keep the page CRC right.
       uint64_t ib = r.header().bbt.ib;
       for (;;) {
         const BtPage page = BtPage::parse(p.at(ib), Format::Unicode);
         if (page.cLevel == 0) break;
         ib = page.btEntry(0, Format::Unicode).child.ib;
       }
       uint8_t* cref = p.at(ib) + 18;
       le::put<uint16_t>(cref, static_cast<uint16_t>(le::u16(cref) + 1));
       p.resealPage(ib);
     }},
    {"cleared AMap bit", "AMap",
     [](const NdbReader& r, Patch& p) {
       const auto& b = r.blocks().front();
       const uint64_t slot = (b.ib - kFirstAMap) / kAMapSlot;
       *p.at(kFirstAMap + slot / 8) &= static_cast<uint8_t>(~(0x80u >> (slot % 8)));
       p.resealPage(kFirstAMap);
     }},
    {"wrong parent key", "parent key",
     [](const NdbReader& r, Patch& p) {
       const uint64_t ib = r.header().nbt.ib;
       ASSERT_GT(BtPage::parse(p.at(ib), Format::Unicode).cLevel, 0);
       uint8_t* key = p.at(ib) + 24;  // the second BTENTRY's key
       le::put<uint64_t>(key, le::u64(key) - 1);
       p.resealPage(ib);
     }},
    {"bad page CRC", "page CRC mismatch",
     [](const NdbReader& r, Patch& p) { *p.at(r.header().bbt.ib + 490) ^= 0x40; }},
    {"looping B-tree", "reached twice",
     [](const NdbReader& r, Patch& p) {
       const uint64_t ib = r.header().nbt.ib;
       uint8_t* child = p.at(ib) + 24 + 8;  // the second BTENTRY's BREF points back at the root
       le::put<uint64_t>(child, r.header().nbt.bid);
       le::put<uint64_t>(child + 8, ib);
       p.resealPage(ib);
     }},
    {"header CRC", "dwCRCFull",
     [](const NdbReader&, Patch& p) { *p.at(0x1F0) ^= 0x01; }},
};

void expectCaught(const std::filesystem::path& original, const test::TempDir& dir) {
  for (const auto& fault : kFaults) {
    const auto copy = dir.file(std::string(fault.name) + ".pst");
    std::filesystem::copy_file(original, copy);
    {
      const NdbReader r(copy);
      Patch p(copy);
      fault.apply(r, p);
    }
    const auto f = verifyFile(copy);
    EXPECT_TRUE(hasError(f, fault.expect)) << original.filename() << ": " << fault.name << "\n" << describe(f);
    std::filesystem::remove(copy);
  }
}

TEST(Verify, SeededCorruptionsOfAnOutlookFileAreErrors) {
  test::TempDir dir;
  expectCaught(test::referencePst("Empty.pst"), dir);
}

TEST(Verify, SeededCorruptionsOfOurFileAreErrors) {
  test::TempDir dir;
  expectCaught(writeSample(dir, "ours.pst"), dir);
}

TEST(Verify, UnreadableInputIsOneClearError) {
  test::TempDir dir;
  const auto junk = dir.file("junk.pst");
  std::ofstream(junk) << "not a pst";
  const auto f = verifyFile(junk);
  ASSERT_EQ(f.errorCount(), 1u);
  EXPECT_EQ(verifyFile(dir.file("missing.pst")).errorCount(), 1u);
}

}  // namespace
}  // namespace pst::verify
