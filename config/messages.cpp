#include "config/messages.h"

std::string formatMessage(std::string_view format, std::initializer_list<std::string_view> args)
{
    std::string text;
    text.reserve(format.size() + 64);
    auto next = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && (format[i + 1] == 's' || format[i + 1] == 'd')
            && next != args.end()) {
            text += *next++;
            ++i;
        } else {
            text += format[i];
        }
    }
    return text;
}
