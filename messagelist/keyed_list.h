// Keyed list: values in the order added, read by 1-based position, each added under a key
// that must be unique within the list.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace messagelist {

// Adding a key that the list already holds. Always a caller's mistake, so it is a logic error.
class DuplicateKeyError : public std::logic_error {
 public:
  explicit DuplicateKeyError(const std::string& key)
      : std::logic_error("The key \"" + key +
                         "\" is already in this keyed list; each key can be added only once, so "
                         "use a new key or start from a new list."),
        key_(key) {}
  const std::string& key() const { return key_; }

 private:
  std::string key_;
};

template <class T>
class KeyedList {
 public:
  // Appends `value` at the end; throws DuplicateKeyError and leaves the list as it was when
  // `key` is already present.
  void add(T value, std::string key) {
    auto [where, inserted] = keys_.insert(std::move(key));
    if (!inserted) throw DuplicateKeyError(*where);
    try {
      values_.push_back(std::move(value));
    } catch (...) {
      keys_.erase(where);
      throw;
    }
  }

  std::size_t count() const { return values_.size(); }
  bool empty() const { return values_.empty(); }
  bool contains(const std::string& key) const { return keys_.count(key) != 0; }

  // `position` runs from 1 to count().
  const T& item(std::size_t position) const {
    if (position == 0 || position > values_.size())
      throw std::out_of_range("Position " + std::to_string(position) +
                              " is outside this keyed list of " +
                              std::to_string(values_.size()) + " entries (positions start at 1).");
    return values_[position - 1];
  }

  const std::vector<T>& values() const { return values_; }
  auto begin() const { return values_.begin(); }
  auto end() const { return values_.end(); }

 private:
  std::vector<T> values_;
  std::unordered_set<std::string> keys_;
};

}  // namespace messagelist
