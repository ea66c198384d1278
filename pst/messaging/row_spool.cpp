#include "pst/messaging/row_spool.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/temporary_file.h"
#include "pst/ndb/le.h"

namespace pst::messaging {

namespace {

void putU32(std::vector<uint8_t>& out, uint32_t v) {
  uint8_t b[4];
  ndb::le::put<uint32_t>(b, v);
  out.insert(out.end(), b, b + 4);
}

void putU64(std::vector<uint8_t>& out, uint64_t v) {
  uint8_t b[8];
  ndb::le::put<uint64_t>(b, v);
  out.insert(out.end(), b, b + 8);
}

void putBytes(std::vector<uint8_t>& out, const void* data, size_t n) {
  putU32(out, static_cast<uint32_t>(n));
  const auto* p = static_cast<const uint8_t*>(data);
  out.insert(out.end(), p, p + n);
}

[[noreturn]] void corrupt() { throw Error("Internal error: a parked table row could not be read back."); }

const uint8_t* need(const uint8_t*& p, const uint8_t* end, size_t n) {
  if (static_cast<size_t>(end - p) < n) corrupt();
  const uint8_t* at = p;
  p += n;
  return at;
}
uint32_t getU32(const uint8_t*& p, const uint8_t* end) { return ndb::le::get<uint32_t>(need(p, end, 4)); }
uint64_t getU64(const uint8_t*& p, const uint8_t* end) { return ndb::le::get<uint64_t>(need(p, end, 8)); }
Bytes getBytes(const uint8_t*& p, const uint8_t* end) {
  const uint32_t n = getU32(p, end);
  const uint8_t* at = need(p, end, n);
  return Bytes(at, at + n);
}
std::string getString(const uint8_t*& p, const uint8_t* end) {
  const uint32_t n = getU32(p, end);
  const uint8_t* at = need(p, end, n);
  return std::string(reinterpret_cast<const char*>(at), n);
}

}  // namespace

void appendProperty(std::vector<uint8_t>& out, const Property& p) {
  putU32(out, p.tag);
  out.push_back(static_cast<uint8_t>(p.value.index()));
  std::visit(
      [&](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, int32_t>) {
          putU32(out, static_cast<uint32_t>(v));
        } else if constexpr (std::is_same_v<T, int64_t> || std::is_same_v<T, uint64_t>) {
          putU64(out, static_cast<uint64_t>(v));
        } else if constexpr (std::is_same_v<T, double>) {
          uint64_t bits;
          std::memcpy(&bits, &v, 8);
          putU64(out, bits);
        } else if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, Bytes>) {
          putBytes(out, v.data(), v.size());
        } else if constexpr (std::is_same_v<T, Guid>) {
          out.insert(out.end(), v.begin(), v.end());
        } else if constexpr (std::is_same_v<T, std::vector<int32_t>>) {
          putU32(out, static_cast<uint32_t>(v.size()));
          for (int32_t x : v) putU32(out, static_cast<uint32_t>(x));
        } else if constexpr (std::is_same_v<T, std::vector<std::string>> || std::is_same_v<T, std::vector<Bytes>>) {
          putU32(out, static_cast<uint32_t>(v.size()));
          for (const auto& x : v) putBytes(out, x.data(), x.size());
        } else if constexpr (std::is_same_v<T, ObjectRef>) {
          putU32(out, v.subnode);
          putU32(out, v.size);
        }
      },
      p.value);
}

Property readProperty(const uint8_t*& p, const uint8_t* end) {
  Property prop;
  prop.tag = getU32(p, end);
  const uint8_t index = *need(p, end, 1);
  switch (index) {
    case 0: prop.value = static_cast<int32_t>(getU32(p, end)); break;
    case 1: prop.value = static_cast<int64_t>(getU64(p, end)); break;
    case 2: prop.value = getU64(p, end); break;
    case 3: {
      const uint64_t bits = getU64(p, end);
      double d;
      std::memcpy(&d, &bits, 8);
      prop.value = d;
      break;
    }
    case 4: prop.value = getString(p, end); break;
    case 5: prop.value = getBytes(p, end); break;
    case 6: {
      Guid g;
      std::memcpy(g.data(), need(p, end, 16), 16);
      prop.value = g;
      break;
    }
    case 7: {
      std::vector<int32_t> v(getU32(p, end));
      for (auto& x : v) x = static_cast<int32_t>(getU32(p, end));
      prop.value = std::move(v);
      break;
    }
    case 8: {
      std::vector<std::string> v(getU32(p, end));
      for (auto& x : v) x = getString(p, end);
      prop.value = std::move(v);
      break;
    }
    case 9: {
      std::vector<Bytes> v(getU32(p, end));
      for (auto& x : v) x = getBytes(p, end);
      prop.value = std::move(v);
      break;
    }
    case 10: {
      ObjectRef r;
      r.subnode = getU32(p, end);
      r.size = getU32(p, end);
      prop.value = r;
      break;
    }
    default: corrupt();
  }
  return prop;
}

RowSpool::RowSpool(const std::filesystem::path& folder) {
  file_ = platform::openUnnamedFile(folder);
  if (!file_)
    throw Error("Cannot create a temporary file in \"" + folder.string() + "\" (" + std::strerror(errno) +
                "); check that the folder is writable and has free space.");
}

RowSpool::~RowSpool() {
  if (file_) std::fclose(file_);
}

uint64_t RowSpool::put(const std::vector<Property>& cells) {
  buffer_.clear();
  putU32(buffer_, 0);
  putU32(buffer_, static_cast<uint32_t>(cells.size()));
  for (const auto& c : cells) appendProperty(buffer_, c);
  ndb::le::put<uint32_t>(buffer_.data(), static_cast<uint32_t>(buffer_.size() - 4));
  if (reading_ && std::fseek(file_, 0, SEEK_END) != 0) corrupt();
  reading_ = false;
  if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size())
    throw WriteFailure(std::string("Cannot write table rows to the temporary folder (") + std::strerror(errno) +
                       "); free some space there and start again.");
  const uint64_t at = end_;
  end_ += buffer_.size();
  return at;
}

std::vector<Property> RowSpool::get(uint64_t position) {
  // Rows are buffered: a full disk shows first here, and must be named as such.
  if (std::fflush(file_) != 0)
    throw WriteFailure(std::string("Cannot write table rows to the temporary folder (") + std::strerror(errno) +
                       "); free some space there and start again.");
  if (std::fseek(file_, static_cast<long>(position), SEEK_SET) != 0) corrupt();
  reading_ = true;
  uint8_t len[4];
  if (std::fread(len, 1, 4, file_) != 4) corrupt();
  buffer_.resize(ndb::le::get<uint32_t>(len));
  if (std::fread(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) corrupt();
  const uint8_t* p = buffer_.data();
  const uint8_t* end = p + buffer_.size();
  std::vector<Property> cells(getU32(p, end));
  for (auto& c : cells) c = readProperty(p, end);
  return cells;
}

}  // namespace pst::messaging
