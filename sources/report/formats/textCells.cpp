// Table cells by display width.
#include "formats/textCells.h"

namespace calcgap::report {

std::size_t displayWidth(std::string_view text)
{
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >> 5 == 0x6 ? 2 : lead >> 4 == 0xe ? 3 : lead >> 3 == 0x1e ? 4 : 1;
        if (i + length > text.size()) {
            ++width;
            break;
        }
        char32_t code = length == 1 ? lead : lead & (0x3f >> (length - 1));
        for (std::size_t k = 1; k < length; ++k)
            code = code << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3f);
        const bool combining = code >= 0x300 && code <= 0x36f;
        const bool wide = (code >= 0x1100 && code <= 0x115f) || (code >= 0x2e80 && code <= 0xa4cf) ||
                          (code >= 0xac00 && code <= 0xd7a3) || (code >= 0xf900 && code <= 0xfaff) ||
                          (code >= 0xfe30 && code <= 0xfe4f) || (code >= 0xff00 && code <= 0xff60) ||
                          (code >= 0xffe0 && code <= 0xffe6) || (code >= 0x1f300 && code <= 0x1f64f) ||
                          (code >= 0x1f900 && code <= 0x1f9ff) || (code >= 0x20000 && code <= 0x3fffd);
        width += combining ? 0 : wide ? 2 : 1;
        i += length;
    }
    return width;
}

std::string cell(const std::string& text, std::size_t width)
{
    const std::size_t shown = displayWidth(text);
    return std::string(shown < width ? width - shown : 1, ' ') + text;
}

std::string left(const std::string& text, std::size_t width)
{
    const std::size_t shown = displayWidth(text);
    return text + (shown < width ? std::string(width - shown, ' ') : std::string());
}

}  // namespace calcgap::report
