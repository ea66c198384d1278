#include "mail/gmime_session.h"

#include <gmime/gmime.h>

#include <mutex>

namespace mail {

void ensureGMimeInitialised() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

}  // namespace mail
