#include "posting/messages.h"

namespace msg {

std::string format(std::string_view pattern, std::initializer_list<std::string_view> args)
{
    std::string out;
    auto next = args.begin();
    std::size_t pos = 0;
    while (pos < pattern.size()) {
        std::size_t at = pattern.find("%s", pos);
        if (at == std::string_view::npos || next == args.end()) {
            out.append(pattern.substr(pos));
            break;
        }
        out.append(pattern.substr(pos, at - pos));
        out.append(*next++);
        pos = at + 2;
    }
    return out;
}

}  // namespace msg
