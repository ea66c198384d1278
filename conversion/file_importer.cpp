#include "conversion/file_importer.h"

#include <variant>

namespace conversion {
namespace {

size_t valueSize(const pst::PropValue& value) {
  return std::visit(
      [](const auto& v) -> size_t {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, pst::Bytes>) {
          return v.capacity();
        } else if constexpr (std::is_same_v<T, std::vector<std::string>> ||
                             std::is_same_v<T, std::vector<pst::Bytes>>) {
          size_t total = 0;
          for (const auto& item : v) total += item.capacity() + sizeof(item);
          return total;
        } else if constexpr (std::is_same_v<T, std::vector<int32_t>>) {
          return v.capacity() * sizeof(int32_t);
        } else {
          return 0;
        }
      },
      value);
}

size_t propsSize(const std::vector<pst::Property>& props) {
  size_t total = props.capacity() * sizeof(pst::Property);
  for (const auto& p : props) total += valueSize(p.value);
  return total;
}

class DirectImporter final : public FileImporter {
 public:
  explicit DirectImporter(ImportFunction importFile) : importFile_(std::move(importFile)) {}
  void expect(const std::filesystem::path&) override {}
  mail::ImportResult import(const std::filesystem::path& file) override { return importFile_(file); }

 private:
  ImportFunction importFile_;
};

}  // namespace

size_t approximateSize(const pst::messaging::MessageContent& message) {
  size_t total = sizeof(message) + propsSize(message.props);
  for (const auto& named : message.named) total += sizeof(named) + valueSize(named.value);
  for (const auto& row : message.recipients) total += propsSize(row);
  for (const auto& attachment : message.attachments) {
    total += sizeof(attachment) + propsSize(attachment.props);
    if (attachment.embedded) total += approximateSize(*attachment.embedded);
  }
  return total;
}

std::unique_ptr<FileImporter> makeDirectImporter(ImportFunction importFile) {
  return std::make_unique<DirectImporter>(std::move(importFile));
}

}  // namespace conversion
