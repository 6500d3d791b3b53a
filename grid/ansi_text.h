#pragma once
// The data sets hold text as bytes in the system's 8-bit code page; the grid
// turns them into display text here and nowhere else.

#include <QString>
#include <string_view>

QString gridTextFromAnsi(std::string_view bytes);
