#pragma once
#include <string>

// The text an error box shows for an error message: a full stop is added when
// the last byte sorts after "." (letters, digits, accented letters, ":" and "?"),
// but not after ".", "!", ")", ",", "-", a blank or a line break.
inline std::string errorBoxText(std::string message)
{
    if (!message.empty() && static_cast<unsigned char>(message.back()) > 0x2E)
        message += '.';
    return message;
}
