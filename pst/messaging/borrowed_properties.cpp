#include "pst/messaging/borrowed_properties.h"

#include <string>
#include <utility>

namespace pst::messaging {

namespace {
size_t sizeOf(const PropValue& v) {
  if (const auto* b = std::get_if<Bytes>(&v)) return b->size();
  if (const auto* s = std::get_if<std::string>(&v)) return s->size();
  return 0;
}
}  // namespace

BorrowedProperties::~BorrowedProperties() {
  for (const auto& loan : loans_) std::swap(loan.owner->value, props_[loan.index].value);
}

bool BorrowedProperties::has(uint16_t id) const { return find(id) != nullptr; }

const Property* BorrowedProperties::find(uint16_t id) const {
  const auto it = index_.find(id);
  return it == index_.end() ? nullptr : &props_[it->second];
}

void BorrowedProperties::add(const Property& p) {
  if (!index_.emplace(tagId(p.tag), props_.size()).second) return;
  if (sizeOf(p.value) >= kBorrowFrom) {
    // The caller keeps an empty value of the same kind while the real one is lent.
    props_.push_back({p.tag, std::holds_alternative<Bytes>(p.value) ? PropValue{Bytes{}} : PropValue{std::string{}}});
    auto* owner = const_cast<Property*>(&p);
    std::swap(owner->value, props_.back().value);
    loans_.push_back({owner, props_.size() - 1});
  } else {
    props_.push_back(p);
  }
}

void BorrowedProperties::set(Property p) {
  const auto [it, added] = index_.emplace(tagId(p.tag), props_.size());
  if (added) {
    props_.push_back(std::move(p));
    return;
  }
  for (const auto& loan : loans_)
    if (loan.index == it->second) throw Error("Internal error: a borrowed property cannot be replaced.");
  props_[it->second] = std::move(p);
}

}  // namespace pst::messaging
