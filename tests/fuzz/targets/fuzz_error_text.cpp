// The full stop that an error box adds to an error's text.

#include "fuzz_check.h"
#include "text/error_text.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string message(reinterpret_cast<const char*>(data), size);
    const std::string shown = errorBoxText(message);

    // The byte is compared as an unsigned code: an accented letter (0x80 and
    // above) gets its full stop like any letter; "." itself and everything
    // below it (blanks, line breaks, "!", ")", ",", "-") does not.
    const bool wantsStop = !message.empty() && static_cast<unsigned char>(message.back()) > 0x2E;
    FUZZ_CHECK(shown == (wantsStop ? message + "." : message), message);

    // What the box shows already ends in a byte that takes no full stop.
    FUZZ_CHECK(errorBoxText(shown) == shown, shown);
    return 0;
}
