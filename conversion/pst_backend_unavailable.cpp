// Stands in for the PST backend while the writer or the importer is not part of the build:
// logging on then fails with a clear message.
#include "conversion/store_backend.h"

namespace conversion {

std::shared_ptr<const MessagingBackend> pstBackend() {
  static const auto backend = std::make_shared<const MessagingBackend>();
  return backend;
}

}  // namespace conversion
