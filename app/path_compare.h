// The path helpers moved to common/path.h; this name stays while Windows-side files still use it.
#pragma once

#include "common/path.h"
