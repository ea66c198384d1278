// Folder lookup by a backslash path over the session's attached stores.
#pragma once

#include <optional>
#include <string>

#include "conversion/messaging.h"

namespace conversion {

// "\<display name>\<folder>\<subfolder>...": the first component names a store's root among
// the session's attached stores, each further one a subfolder. There is no explorer window,
// so a path without the leading "\" starts at the stores as well. A component that is not
// found is skipped and the walk goes on from the folder reached so far; the result is the
// last folder reached, or none. Never throws.
// `complete`, when given, tells whether every component was found (and there was one).
std::optional<Folder> OpenMAPIFolder(const Session& session, std::string path, bool* complete = nullptr);

}  // namespace conversion
