// GMime needs one process-wide initialisation before any parser or charset call.
#pragma once

namespace mail {

void ensureGMimeInitialised();

}  // namespace mail
