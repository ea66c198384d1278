// Byte-level vectors: CRC, permute tables, signatures, header CRCs and layouts of Outlook's files.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "pst/ndb/allocation_map.h"
#include "pst/ndb/crc.h"
#include "pst/ndb/header.h"
#include "pst/ndb/permute.h"
#include "pst/ndb/signature.h"
#include "pst/ndb/types.h"
#include "temp_dir.h"

namespace pst::ndb {
namespace {

std::vector<uint8_t> slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

uint32_t bytewiseCrc(const std::vector<uint8_t>& d) {
  uint32_t crc = 0;
  for (uint8_t b : d) {
    uint32_t c = (crc ^ b) & 0xFF;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    crc = c ^ (crc >> 8);
  }
  return crc;
}

TEST(Crc, SeedZeroWithoutFinalInversion) {
  const uint8_t one = 1;
  EXPECT_EQ(crc32({&one, 1}), 0x77073096u);  // the table's second entry
  EXPECT_EQ(crc32({}), 0u);
  // zlib's CRC of "123456789" is 0xCBF43926; ours differs because seed and inversion differ.
  const std::string s = "123456789";
  EXPECT_NE(crc32({reinterpret_cast<const uint8_t*>(s.data()), s.size()}), 0xCBF43926u);
}

// The sample Unicode header published with the MS-PST documentation (its first 256 bytes; the
// free maps that follow are all 0xFF), whose dwCRCPartial is 0x379AA90E.
TEST(Crc, MatchesThePublishedSampleHeader) {
  const char* hex =
      "2142444E0EA99A37534D1700130001015C070000D07B990B040000000100000054020000000000004500000000040000"
      "000400000404000000400000020001000404000000040000000400000080000000040000000400000004000000040000"
      "040400000404000004040000000400000004000000040000000400000004000000040000000400000004000000040000"
      "0004000000040000000400000004000000040000000400000F04000000000000000000000000000000249F0000000000"
      "00449B000000000040F212000000000000000000000000004B0200000000000000529000000000005302000000000000"
      "000A9000000000000200000000000000";
  std::vector<uint8_t> header;
  for (const char* p = hex; p[0] && p[1]; p += 2) header.push_back(static_cast<uint8_t>(std::stoi(std::string(p, 2), nullptr, 16)));
  ASSERT_EQ(header.size(), 0x100u);
  header.resize(0x200, 0xFF);
  EXPECT_EQ(crc32({header.data() + 8, 471}), 0x379AA90Eu);
  EXPECT_THROW(Header::parse(header), Error);  // too short for a Unicode header: no reading past it
}

TEST(Crc, SlicedLoopMatchesBytewiseAtEveryLengthAndSplit) {
  std::mt19937 rng(7);
  std::vector<uint8_t> d(1000);
  for (auto& b : d) b = static_cast<uint8_t>(rng());
  for (size_t n : {1u, 7u, 8u, 9u, 15u, 16u, 17u, 63u, 496u, 999u, 1000u}) {
    std::vector<uint8_t> part(d.begin(), d.begin() + n);
    EXPECT_EQ(crc32(part), bytewiseCrc(part)) << n;
    const size_t cut = n / 3;
    EXPECT_EQ(crc32({part.data() + cut, n - cut}, crc32({part.data(), cut})), bytewiseCrc(part)) << n;
  }
}

TEST(Permute, TablesAreInverseAndMatchKnownBytes) {
  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  auto enc = all;
  permuteEncode(enc);
  EXPECT_EQ(enc[0], 0x41);
  EXPECT_EQ(enc[1], 0x36);
  EXPECT_EQ(enc[7], 0xBB);
  EXPECT_EQ(enc[255], 0x3D);
  auto dec = all;
  permuteDecode(dec);
  EXPECT_EQ(dec[0], 0x47);
  EXPECT_EQ(dec[3], 0xE6);
  permuteDecode(enc);
  EXPECT_EQ(enc, all);
}

// The wide path takes 64 bytes at a time; every length and the copying variant must agree
// with the byte table.
TEST(Permute, EveryLengthAndTheCopyingEncoderAgreeWithTheTable) {
  std::vector<uint8_t> table(256);
  for (int i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>(i);
  permuteEncode(table);  // 256 bytes; checked byte by byte above
  std::mt19937 rng(11);
  for (size_t n = 0; n <= 300; ++n) {
    std::vector<uint8_t> data(n);
    for (auto& b : data) b = static_cast<uint8_t>(rng());
    std::vector<uint8_t> expected(n);
    for (size_t i = 0; i < n; ++i) expected[i] = table[data[i]];
    std::vector<uint8_t> copied(n + 1, 0xAB);
    permuteEncode(std::span<const uint8_t>(data), copied.data());
    EXPECT_EQ(std::vector<uint8_t>(copied.begin(), copied.begin() + n), expected) << n;
    EXPECT_EQ(copied[n], 0xAB) << "wrote past the end at " << n;
    auto inPlace = data;
    permuteEncode(std::span<uint8_t>(inPlace));
    EXPECT_EQ(inPlace, expected) << n;
    permuteDecode(inPlace);
    EXPECT_EQ(inPlace, data) << n;
  }
}

TEST(Signature, MatchesOutlookDList) {
  // Empty.pst's DList: bid 0x17F at 0x4200.
  const auto f = slurp(test::referencePst("Empty.pst"));
  ASSERT_GT(f.size(), 0x4400u);
  const uint16_t stored = static_cast<uint16_t>(f[0x43F2] | f[0x43F3] << 8);
  EXPECT_EQ(computeSig(0x4200, 0x17F), stored);
  EXPECT_EQ(computeSig(0, 0), 0);
  EXPECT_EQ(computeSig(0x10000, 0x1), 0x0001 ^ 0x0001);
}

TEST(Header, ParsesOutlookFilesOfBothVariants) {
  const auto uni = Header::parse(slurp(test::referencePst("Empty.pst")));
  EXPECT_EQ(uni.format, Format::Unicode);
  EXPECT_TRUE(uni.crcPartialOk);
  EXPECT_TRUE(uni.crcFullOk);
  EXPECT_EQ(uni.ibFileEof, 0x42400u);
  EXPECT_EQ(uni.ibAMapLast, 0x4400u);
  EXPECT_EQ(uni.cbAMapFree, 0x3AD40u);
  EXPECT_EQ(uni.bidNextB, 0x130u);
  EXPECT_EQ(uni.amapValid, 2);
  const auto ansi = Header::parse(slurp(test::referencePst("sample2.pst")));
  EXPECT_EQ(ansi.format, Format::Ansi);
  EXPECT_TRUE(ansi.crcPartialOk);
  EXPECT_EQ(ansi.ibFileEof, 0x42400u);
  EXPECT_EQ(ansi.nbt.ib, 0x8800u);
  EXPECT_EQ(ansi.bbt.ib, 0x7000u);
}

TEST(Header, WriteThenParseKeepsFieldsAndCrcs) {
  Header h;
  h.bidNextB = 0x1234;
  h.bidNextP = 0x99;
  h.unique = 5;
  h.ibFileEof = 0x1'0000'4400ULL;  // over 4 GiB
  h.ibAMapLast = 0xFFFF'0000ULL;
  h.cbAMapFree = 0x1'2345'6780ULL;
  h.nbt = {0x11, 0x2'0000'0000ULL};
  h.bbt = {0x13, 0x4800};
  h.amapValid = 2;
  h.rgnid[4] = 0x10001;
  std::vector<uint8_t> bytes(Header::kUnicodeSize);
  h.write(bytes);
  const Header p = Header::parse(bytes);
  EXPECT_TRUE(p.crcPartialOk);
  EXPECT_TRUE(p.crcFullOk);
  EXPECT_TRUE(p.fmFpAllOnes);
  EXPECT_EQ(p.ibFileEof, h.ibFileEof);
  EXPECT_EQ(p.cbAMapFree, h.cbAMapFree);
  EXPECT_EQ(p.nbt.ib, h.nbt.ib);
  EXPECT_EQ(p.rgnid[4], 0x10001u);
  EXPECT_EQ(p.sentinel, 0x80);
  EXPECT_EQ(p.verClient, 19);
  bytes[0x30] ^= 1;  // inside both CRC ranges
  const Header bad = Header::parse(bytes);
  EXPECT_FALSE(bad.crcPartialOk);
  EXPECT_FALSE(bad.crcFullOk);
}

TEST(Header, RejectsWhatIsNoPst) {
  std::vector<uint8_t> zeros(Header::kUnicodeSize);
  EXPECT_THROW(Header::parse(zeros), Error);
  EXPECT_THROW(Header::parse(std::vector<uint8_t>(10)), Error);
}

TEST(AllocationMap, MapPagePositions) {
  EXPECT_EQ(regionStart(0), 0x4400u);
  EXPECT_TRUE(hasPMap(0));
  EXPECT_FALSE(hasPMap(1));
  EXPECT_EQ(pmapOffset(0), 0x4600u);
  EXPECT_FALSE(hasFMap(127));
  EXPECT_TRUE(hasFMap(128));
  EXPECT_EQ(fmapOffset(128), 0x1F04800u);
  EXPECT_TRUE(hasFMap(128 + 496));
  EXPECT_TRUE(hasFPMap(8192));
  EXPECT_EQ(fpmapOffset(8192), 0x7C004A00u);
  EXPECT_FALSE(hasFPMap(8192 + 8));
  EXPECT_EQ(firstFreeInRegion(0), 0x4800u);
  EXPECT_EQ(firstFreeInRegion(1), regionStart(1) + 512);
  EXPECT_EQ(firstFreeInRegion(8192), regionStart(8192) + 2048);
}

}  // namespace
}  // namespace pst::ndb
