#include "conversion/server_index.h"

#include <fstream>
#include <iterator>

namespace conversion {

namespace {

constexpr size_t kHeaderSize = 36;
constexpr size_t kRecordSize = 36;
constexpr size_t kNameSize = 23;
constexpr uint32_t kKnownVersion = 1;

std::string lowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return out;
}

uint32_t readLe32(std::string_view bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value |= uint32_t{static_cast<uint8_t>(bytes[at + i])} << (8 * i);
  return value;
}

// The index file of `folder`: IMAP.MRK, or a name that differs from it in letter case only.
std::optional<std::filesystem::path> findIndexFile(const std::filesystem::path& folder) {
  std::error_code ec;
  const std::filesystem::path exact = folder / kServerIndexName;
  if (std::filesystem::is_regular_file(exact, ec)) return exact;
  const std::string wanted = lowerCase(kServerIndexName);
  for (auto it = std::filesystem::directory_iterator(folder, ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    if (lowerCase(it->path().filename().native()) == wanted && it->is_regular_file(ec)) return it->path();
  }
  return std::nullopt;
}

}  // namespace

std::optional<uint8_t> ServerIndex::find(std::string_view fileName) const {
  const auto it = flags.find(lowerCase(fileName));
  if (it == flags.end()) return std::nullopt;
  return it->second;
}

ServerIndex ParseServerIndex(std::string_view bytes) {
  ServerIndex index;
  index.kind = ServerIndex::Kind::Unusable;
  if (bytes.size() < kHeaderSize) {
    index.problem = "it is truncated (" + std::to_string(bytes.size()) + " bytes, shorter than its header)";
    return index;
  }
  const uint32_t version = readLe32(bytes, 0);
  if (version != kKnownVersion) {
    index.problem = "it has the unknown version " + std::to_string(version);
    return index;
  }
  if ((bytes.size() - kHeaderSize) % kRecordSize != 0) {
    index.problem = "it is truncated (" + std::to_string(bytes.size()) + " bytes, not a whole number of records)";
    return index;
  }
  for (size_t at = kHeaderSize; at < bytes.size(); at += kRecordSize) {
    std::string_view name = bytes.substr(at, kNameSize);
    name = name.substr(0, name.find('\0'));
    if (!name.empty()) index.flags[lowerCase(name)] = static_cast<uint8_t>(bytes[at + kNameSize]);
  }
  index.kind = ServerIndex::Kind::Read;
  return index;
}

ServerIndex ReadServerIndex(const std::filesystem::path& folder) {
  const std::optional<std::filesystem::path> file = findIndexFile(folder);
  if (!file) return ServerIndex{};
  std::ifstream in(*file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ServerIndex index;
  if (in.bad()) {
    index.kind = ServerIndex::Kind::Unusable;
    index.problem = "it cannot be read";
  } else {
    index = ParseServerIndex(bytes);
  }
  index.file = *file;
  return index;
}

}  // namespace conversion
