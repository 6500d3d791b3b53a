#pragma once
// Moved: sameName is in posting/same_name.h.
#include "posting/same_name.h"
