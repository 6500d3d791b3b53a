#pragma once
// Moved: the toolkit text adapter is text/qt_text.h.
#include "text/qt_text.h"
