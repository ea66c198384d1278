// Real mail from the public corpus.
#include <gtest/gtest.h>

#include "props.h"

namespace {}
