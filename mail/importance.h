// Importance, priority and sensitivity from the several headers mailers use for them.
#pragma once

#include <cstdint>
#include <string_view>

#include "mail/header_fields.h"

namespace mail {

struct MessageMarks {
  int32_t importance = 1;   // 0 low, 1 normal, 2 high
  int32_t priority = 0;     // -1 non-urgent, 0 normal, 1 urgent
  int32_t sensitivity = 0;  // 0 normal, 1 personal, 2 private, 3 confidential
};

// Importance: wins over X-Priority, which wins over X-MSMail-Priority and Priority.
MessageMarks readMarks(const HeaderFields& fields);

int32_t importanceFromImportance(std::string_view value, int32_t fallback);
int32_t importanceFromXPriority(std::string_view value, int32_t fallback);

}  // namespace mail
