// Outlook-made files: our readers find no fault in them and decode what Outlook wrote.
#include <gtest/gtest.h>

#include <sstream>

#include "ltp_test_util.h"
#include "pst/ltp/pc_reader.h"
#include "pst/ltp/tc_reader.h"
#include "pst/verify/verify.h"

namespace pst::ltp {
namespace {

TEST(ReferenceFiles, VerifyWithoutErrors) {
  for (const char* name : {"Empty.pst", "sample1.pst", "sample2.pst", "submessage.pst", "attachAndInline.pst",
                           "200-recipients.pst"}) {
    std::ostringstream dump;
    const auto findings = verify::verifyFile(test::referencePst(name), &dump);
    for (const auto& f : findings.items)
      if (f.severity == verify::Finding::Severity::Error) ADD_FAILURE() << name << ": " << f.where << ": " << f.message;
    EXPECT_NE(dump.str().find("\npc node 0x21 "), std::string::npos) << name;
    EXPECT_NE(dump.str().find("\ntc node 0x12D "), std::string::npos) << name;
  }
  // 200 recipients: a table in a subnode, on a multi-block heap, with its matrix in a subnode.
  std::ostringstream dump;
  verify::verifyFile(test::referencePst("200-recipients.pst"), &dump);
  EXPECT_NE(dump.str().find("tc node 0x200024 subnode 0x692 columns 21 rows 200 "), std::string::npos);
}

TEST(ReferenceFiles, EmptyStoreReadsAsOutlookWroteIt) {
  ndb::NdbReader r(test::referencePst("Empty.pst"));
  Problems problems;
  const auto ipm = readPropertyContext(test::sourceOf(r, 0x8022), problems);
  const auto name = std::find_if(ipm.begin(), ipm.end(), [](const Property& p) { return p.tag == 0x3001001F; });
  ASSERT_NE(name, ipm.end());
  EXPECT_EQ(std::get<std::string>(name->value), "Top of Outlook data file");

  // The root hierarchy table: four rows in insertion order, indexed by id.
  const auto source = test::sourceOf(r, 0x12D);
  const TableReader root(source, problems);
  EXPECT_EQ(root.rowCount(), 4u);
  EXPECT_EQ(root.indexedRowIds(), (std::vector<uint32_t>{0x2223, 0x8022, 0x8042, 0x8082}));
  std::vector<uint32_t> matrixOrder;
  root.forEachRow([&](size_t, uint32_t id, const TableReader::Cells&) { matrixOrder.push_back(id); });
  EXPECT_EQ(matrixOrder, (std::vector<uint32_t>{0x8022, 0x8042, 0x2223, 0x8082}));
  EXPECT_TRUE(problems.empty()) << problems.front();
}

}  // namespace
}  // namespace pst::ltp
