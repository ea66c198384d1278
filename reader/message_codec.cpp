#include "reader/message_codec.h"

#include <cstring>
#include <type_traits>

namespace reader {

namespace {

using pst::PropType;
using pst::PropValue;
using pst::messaging::AttachmentContent;
using pst::messaging::MessageContent;
using pst::messaging::NamedProperty;

// The variant alternative each property type is held in (pst/ltp/property.h); -1 for none.
int alternativeOf(PropType type) {
  switch (type) {
    case PropType::Int16:
    case PropType::Int32:
    case PropType::Boolean:
    case PropType::ErrorCode:
      return 0;
    case PropType::Int64:
    case PropType::Currency:
      return 1;
    case PropType::Time:
      return 2;
    case PropType::Float:
    case PropType::Double:
    case PropType::AppTime:
      return 3;
    case PropType::Unicode:
    case PropType::String8:
      return 4;
    case PropType::Binary:
      return 5;
    case PropType::Guid:
      return 6;
    case PropType::MvInt32:
      return 7;
    case PropType::MvUnicode:
      return 8;
    case PropType::MvBinary:
      return 9;
    case PropType::Object:
      return 10;
  }
  return -1;
}

// Little-endian fixed-size integers; counts and lengths as 64-bit values.
// Fixed fields and short values are copied into the encoding's own buffer; long values are
// referred to where they lie in the message, so the message is never copied to be sent.
class Writer {
 public:
  explicit Writer(Encoding& out) : out_(out) {}
  template <class T>
  void fixed(T value) {
    static_assert(std::is_integral_v<T>);
    char le[sizeof(T)];
    for (size_t i = 0; i < sizeof(T); ++i) le[i] = static_cast<char>((static_cast<uint64_t>(value) >> (8 * i)) & 0xFF);
    append(le, sizeof(T));
  }
  void bytes(const void* data, size_t size) {
    fixed<uint64_t>(size);
    append(data, size);
  }
  void digest(const std::optional<mail::Sha256Digest>& digest) {
    fixed<uint8_t>(digest ? 1 : 0);
    if (digest) append(digest->data(), digest->size());
  }
  void value(const PropValue& v) {
    fixed<uint8_t>(static_cast<uint8_t>(v.index()));
    std::visit([this](const auto& x) { put(x); }, v);
  }
  void props(const std::vector<pst::Property>& list) {
    fixed<uint64_t>(list.size());
    for (const auto& p : list) {
      fixed<uint32_t>(p.tag);
      value(p.value);
    }
  }
  void message(const MessageContent& m) {
    props(m.props);
    fixed<uint64_t>(m.named.size());
    for (const NamedProperty& n : m.named) {
      append(n.key.propertySet.data(), n.key.propertySet.size());
      if (const auto* lid = std::get_if<uint32_t>(&n.key.id)) {
        fixed<uint8_t>(0);
        fixed<uint32_t>(*lid);
      } else {
        const auto& name = std::get<std::string>(n.key.id);
        fixed<uint8_t>(1);
        bytes(name.data(), name.size());
      }
      fixed<uint16_t>(static_cast<uint16_t>(n.type));
      value(n.value);
    }
    fixed<uint64_t>(m.recipients.size());
    for (const auto& row : m.recipients) props(row);
    fixed<uint64_t>(m.attachments.size());
    for (const AttachmentContent& a : m.attachments) {
      props(a.props);
      fixed<uint8_t>(a.embedded ? 1 : 0);
      if (a.embedded) message(*a.embedded);
    }
  }

 private:
  void put(int32_t v) { fixed<uint32_t>(static_cast<uint32_t>(v)); }
  void put(int64_t v) { fixed<uint64_t>(static_cast<uint64_t>(v)); }
  void put(uint64_t v) { fixed<uint64_t>(v); }
  void put(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    fixed<uint64_t>(bits);
  }
  void put(const std::string& v) { bytes(v.data(), v.size()); }
  void put(const pst::Bytes& v) { bytes(v.data(), v.size()); }
  void put(const pst::Guid& v) { append(v.data(), v.size()); }
  void put(const std::vector<int32_t>& v) {
    fixed<uint64_t>(v.size());
    for (int32_t x : v) put(x);
  }
  template <class Item>
  void put(const std::vector<Item>& v) {
    fixed<uint64_t>(v.size());
    for (const auto& x : v) put(x);
  }
  void put(const pst::ObjectRef& v) {
    fixed<uint32_t>(v.subnode);
    fixed<uint32_t>(v.size);
  }

  void append(const void* data, size_t size) { out_.append(static_cast<const uint8_t*>(data), size); }

  Encoding& out_;
};

struct Malformed {
  const char* what;
};

class Reader {
 public:
  Reader(ByteSource& source, uint64_t length, size_t memoryBudget)
      : source_(source), left_(length), budget_(memoryBudget) {}
  bool atEnd() const { return left_ == 0; }

  template <class T>
  T fixed() {
    uint8_t le[sizeof(T)];
    take(le, sizeof(T));
    uint64_t v = 0;
    for (size_t i = 0; i < sizeof(T); ++i) v |= static_cast<uint64_t>(le[i]) << (8 * i);
    return static_cast<T>(v);
  }
  // A count of items each encoded in at least `minimumSize` bytes and held in `heldSize`
  // bytes of memory: never more than the bytes left or the memory budget allow.
  size_t count(size_t minimumSize, size_t heldSize) {
    const uint64_t n = fixed<uint64_t>();
    if (n > left() / minimumSize) throw Malformed{"a count larger than the bytes that follow"};
    charge(static_cast<size_t>(n) * heldSize);
    return static_cast<size_t>(n);
  }
  std::optional<mail::Sha256Digest> digest() {
    const uint8_t present = fixed<uint8_t>();
    if (present > 1) throw Malformed{"a digest flag that is neither 0 nor 1"};
    if (present == 0) return std::nullopt;
    mail::Sha256Digest digest;
    take(digest.data(), digest.size());
    return digest;
  }
  template <class Container>
  Container sized() {
    Container c(count(1, 1), 0);
    take(c.data(), c.size());
    return c;
  }
  PropValue value(PropType type) {
    const uint8_t index = fixed<uint8_t>();
    if (static_cast<int>(index) != alternativeOf(type)) throw Malformed{"a value whose kind does not match its type"};
    switch (index) {
      case 0:
        return static_cast<int32_t>(fixed<uint32_t>());
      case 1:
        return static_cast<int64_t>(fixed<uint64_t>());
      case 2:
        return fixed<uint64_t>();
      case 3: {
        const uint64_t bits = fixed<uint64_t>();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
      }
      case 4:
        return sized<std::string>();
      case 5:
        return sized<pst::Bytes>();
      case 6:
        return guid();
      case 7: {
        std::vector<int32_t> v(count(4, sizeof(int32_t)));
        for (auto& x : v) x = static_cast<int32_t>(fixed<uint32_t>());
        return v;
      }
      case 8: {
        std::vector<std::string> v(count(8, sizeof(std::string)));
        for (auto& x : v) x = sized<std::string>();
        return v;
      }
      case 9: {
        std::vector<pst::Bytes> v(count(8, sizeof(pst::Bytes)));
        for (auto& x : v) x = sized<pst::Bytes>();
        return v;
      }
      default: {
        pst::ObjectRef ref;
        ref.subnode = fixed<uint32_t>();
        ref.size = fixed<uint32_t>();
        return ref;
      }
    }
  }
  std::vector<pst::Property> props() {
    std::vector<pst::Property> list(count(5, sizeof(pst::Property)));
    for (auto& p : list) {
      p.tag = fixed<uint32_t>();
      p.value = value(pst::tagType(p.tag));
    }
    return list;
  }
  MessageContent message(int depth) {
    if (depth > kMaxNesting) throw Malformed{"embedded messages nested too deep"};
    charge(sizeof(MessageContent));
    MessageContent m;
    m.props = props();
    m.named.resize(count(16 + 1 + 4 + 2 + 1, sizeof(NamedProperty)));
    for (NamedProperty& n : m.named) {
      n.key.propertySet = guid();
      const uint8_t kind = fixed<uint8_t>();
      if (kind == 0) {
        n.key.id = fixed<uint32_t>();
      } else if (kind == 1) {
        n.key.id = sized<std::string>();
      } else {
        throw Malformed{"a named property that is neither numbered nor named"};
      }
      n.type = static_cast<PropType>(fixed<uint16_t>());
      n.value = value(n.type);
    }
    m.recipients.resize(count(8, sizeof(std::vector<pst::Property>)));
    for (auto& row : m.recipients) row = props();
    m.attachments.resize(count(9, sizeof(AttachmentContent)));
    for (AttachmentContent& a : m.attachments) {
      a.props = props();
      const uint8_t embedded = fixed<uint8_t>();
      if (embedded > 1) throw Malformed{"an attachment flag that is neither 0 nor 1"};
      if (embedded) a.embedded = std::make_unique<MessageContent>(message(depth + 1));
    }
    return m;
  }

 private:
  size_t left() const { return static_cast<size_t>(left_); }
  // Memory the decoded message takes, against what the sending reader itself could hold.
  void charge(size_t bytes) {
    if (bytes > budget_) throw Malformed{"a message larger than a reader can hold"};
    budget_ -= bytes;
  }
  void take(void* into, size_t n) {
    if (left_ < n) throw Malformed{"it ends in the middle of a value"};
    source_.read(into, n);
    left_ -= n;
  }
  pst::Guid guid() {
    pst::Guid g;
    take(g.data(), g.size());
    return g;
  }

  ByteSource& source_;
  uint64_t left_;
  size_t budget_;
};

class SpanSource final : public ByteSource {
 public:
  explicit SpanSource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  void read(void* into, size_t size) override {
    std::memcpy(into, bytes_.data(), size);  // the reader never asks for more than the length given
    bytes_ = bytes_.subspan(size);
  }

 private:
  std::span<const uint8_t> bytes_;
};

}  // namespace

void Encoding::append(const uint8_t* data, size_t size) {
  if (size >= kReferredSize) {
    pieces_.push_back({data, 0, size});
  } else {
    if (pieces_.empty() || pieces_.back().external) pieces_.push_back({nullptr, own_.size(), 0});
    own_.insert(own_.end(), data, data + size);
    pieces_.back().size += size;
  }
  size_ += size;
}

std::vector<std::span<const uint8_t>> Encoding::pieces() const {
  std::vector<std::span<const uint8_t>> out;
  out.reserve(pieces_.size());
  for (const Piece& p : pieces_) out.emplace_back(p.external ? p.external : own_.data() + p.offset, p.size);
  return out;
}

Encoding::Encoding(const mail::ImportResult& result) {
  Writer w(*this);
  w.fixed<uint8_t>(result.ok ? 1 : 0);
  w.bytes(result.reason.data(), result.reason.size());
  w.message(result.message);
  w.digest(result.sha256);
}

void encodeImportResult(const mail::ImportResult& result, std::string& out) {
  const Encoding encoding(result);
  for (const auto& piece : encoding.pieces()) out.append(reinterpret_cast<const char*>(piece.data()), piece.size());
}

std::optional<mail::ImportResult> decodeImportResult(ByteSource& source, uint64_t length, size_t memoryBudget,
                                                    std::string* error) {
  try {
    Reader r(source, length, memoryBudget);
    mail::ImportResult result;
    const uint8_t ok = r.fixed<uint8_t>();
    if (ok > 1) throw Malformed{"a result flag that is neither 0 nor 1"};
    result.ok = ok == 1;
    result.reason = r.sized<std::string>();
    result.message = r.message(0);
    result.sha256 = r.digest();
    if (!r.atEnd()) throw Malformed{"bytes left over after the message"};
    return result;
  } catch (const Malformed& m) {
    if (error) *error = m.what;
    return std::nullopt;
  }
}

std::optional<mail::ImportResult> decodeImportResult(std::span<const uint8_t> bytes, size_t memoryBudget,
                                                    std::string* error) {
  SpanSource source(bytes);
  return decodeImportResult(source, bytes.size(), memoryBudget, error);
}

}  // namespace reader
