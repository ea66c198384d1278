// Scratch folders, the oracles' command lines and small readers of our files for the tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>

#include "pst/ltp/ndb_node_source.h"
#include "pst/ltp/tc_reader.h"
#include "pst/messaging/row_spool.h"
#include "pst/ndb/ndb_reader.h"
#include "pst/verify/verify.h"
#include "../pst_ndb/temp_dir.h"

namespace pst::test {

inline std::string quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

// Runs a shell command; returns its exit status and collects its standard output.
// The oracles are Linux programs: under Windows every command counts as not available.
inline int run(const std::string& command, std::string* output = nullptr) {
#ifdef _WIN32
  (void)command;
  if (output) output->clear();
  return -1;
#else
  std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  const int status = ::pclose(pipe);
  if (output) *output = out;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

inline bool havePypff() { return run("/usr/bin/python3 -c 'import pypff'") == 0; }

inline std::string readText(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The verifier's errors, one per line; empty when there are none.
inline std::string verifierErrors(const std::filesystem::path& file) {
  const auto findings = verify::verifyFile(file);
  std::string out;
  for (const auto& f : findings.items)
    if (f.severity == verify::Finding::Severity::Error) out += f.where + ": " + f.message + "\n";
  return out;
}

// Node data plus all subnode data below it: what PidTagMessageSize must state.
inline uint64_t storedSize(const ndb::NdbReader& r, Bid data, Bid subnodes) {
  uint64_t total = data ? r.readData(data).size() : 0;
  if (subnodes)
    for (const auto& e : r.readSubnodes(subnodes)) total += storedSize(r, e.data, e.subnodes);
  return total;
}

// Values compare through their serial form, which covers every alternative.
inline bool sameValue(const PropValue& a, const PropValue& b) {
  std::vector<uint8_t> x, y;
  messaging::appendProperty(x, {0, a});
  messaging::appendProperty(y, {0, b});
  return x == y;
}

// The rows of the table in node `nid`, keyed by row id; each row maps tag -> value. Layout faults
// the table reader reports fail the test.
using TableRows = std::map<uint32_t, std::map<PropTag, PropValue>>;
inline TableRows readTable(const ndb::NdbReader& reader, Nid nid) {
  const auto* node = reader.findNode(nid);
  if (!node) throw Error("no node " + std::to_string(nid));
  const ltp::NodeSource source = ltp::nodeSource(reader, node->data, node->subnodes);
  ltp::Problems problems;
  ltp::TableReader table(source, problems);
  TableRows rows;
  table.forEachRow([&](size_t, uint32_t rowId, const ltp::TableReader::Cells& cells) {
    auto& row = rows[rowId];
    for (size_t i = 0; i < cells.size(); ++i)
      if (cells[i]) row[table.layout().columns[i].tag] = *cells[i];
  });
  EXPECT_EQ(rows.size(), table.rowCount());
  for (const auto& p : problems) ADD_FAILURE() << "table 0x" << std::hex << nid << ": " << p;
  return rows;
}

}  // namespace pst::test
