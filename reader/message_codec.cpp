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
class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}
  template <class T>
  void fixed(T value) {
    static_assert(std::is_integral_v<T>);
    char le[sizeof(T)];
    for (size_t i = 0; i < sizeof(T); ++i) le[i] = static_cast<char>((static_cast<uint64_t>(value) >> (8 * i)) & 0xFF);
    out_.append(le, sizeof(T));
  }
  void bytes(const void* data, size_t size) {
    fixed<uint64_t>(size);
    out_.append(static_cast<const char*>(data), size);
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
      out_.append(reinterpret_cast<const char*>(n.key.propertySet.data()), n.key.propertySet.size());
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
  void put(const pst::Guid& v) { out_.append(reinterpret_cast<const char*>(v.data()), v.size()); }
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

  std::string& out_;
};

struct Malformed {
  const char* what;
};

class Reader {
 public:
  Reader(std::span<const uint8_t> bytes, size_t memoryBudget)
      : at_(bytes.data()), end_(bytes.data() + bytes.size()), budget_(memoryBudget) {}
  bool atEnd() const { return at_ == end_; }

  template <class T>
  T fixed() {
    need(sizeof(T));
    uint64_t v = 0;
    for (size_t i = 0; i < sizeof(T); ++i) v |= static_cast<uint64_t>(at_[i]) << (8 * i);
    at_ += sizeof(T);
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
  template <class Container>
  Container sized() {
    const size_t n = count(1, 1);
    Container c(at_, at_ + n);
    at_ += n;
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
  size_t left() const { return static_cast<size_t>(end_ - at_); }
  // Memory the decoded message takes, against what the sending reader itself could hold.
  void charge(size_t bytes) {
    if (bytes > budget_) throw Malformed{"a message larger than a reader can hold"};
    budget_ -= bytes;
  }
  void need(size_t n) {
    if (left() < n) throw Malformed{"it ends in the middle of a value"};
  }
  pst::Guid guid() {
    need(16);
    pst::Guid g;
    std::memcpy(g.data(), at_, g.size());
    at_ += g.size();
    return g;
  }

  const uint8_t* at_;
  const uint8_t* end_;
  size_t budget_;
};

}  // namespace

void encodeImportResult(const mail::ImportResult& result, std::string& out) {
  Writer w(out);
  w.fixed<uint8_t>(result.ok ? 1 : 0);
  w.bytes(result.reason.data(), result.reason.size());
  w.message(result.message);
}

std::optional<mail::ImportResult> decodeImportResult(std::span<const uint8_t> bytes, size_t memoryBudget,
                                                    std::string* error) {
  try {
    Reader r(bytes, memoryBudget);
    mail::ImportResult result;
    const uint8_t ok = r.fixed<uint8_t>();
    if (ok > 1) throw Malformed{"a result flag that is neither 0 nor 1"};
    result.ok = ok == 1;
    result.reason = r.sized<std::string>();
    result.message = r.message(0);
    if (!r.atEnd()) throw Malformed{"bytes left over after the message"};
    return result;
  } catch (const Malformed& m) {
    if (error) *error = m.what;
    return std::nullopt;
  }
}

}  // namespace reader
