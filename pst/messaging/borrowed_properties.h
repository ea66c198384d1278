// A property list for a writer call that takes large values from the caller's message for the
// duration of the call and gives them back afterwards, so a 12 MB attachment is never copied.
#pragma once

#include <unordered_map>
#include <vector>

#include "pst/ltp/property.h"

namespace pst::messaging {

class BorrowedProperties {
 public:
  // Values of at least this many bytes are borrowed rather than copied.
  static constexpr size_t kBorrowFrom = 64 * 1024;

  BorrowedProperties() = default;
  ~BorrowedProperties();
  BorrowedProperties(const BorrowedProperties&) = delete;
  BorrowedProperties& operator=(const BorrowedProperties&) = delete;

  // Adds `p` unless a property with the same id is present already. The caller's object must
  // outlive this list and must not be a true constant (it is left unchanged in the end).
  void add(const Property& p);
  // Adds or replaces the property with the same id.
  void set(Property p);
  bool has(uint16_t id) const;
  const Property* find(uint16_t id) const;
  const std::vector<Property>& list() const { return props_; }

 private:
  struct Loan {
    Property* owner;
    size_t index;
  };
  std::vector<Property> props_;
  std::vector<Loan> loans_;
  std::unordered_map<uint16_t, size_t> index_;  // tag id -> position in props_
};

}  // namespace pst::messaging
