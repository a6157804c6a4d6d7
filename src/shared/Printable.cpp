#include "shared/Printable.h"

namespace tovin {

std::string printable(std::string_view text) {
    std::string shown(text);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const auto byte = static_cast<unsigned char>(shown[i]);
        const auto next = i + 1 < shown.size() ? static_cast<unsigned char>(shown[i + 1]) : 0;
        if (byte < 0x20 || byte == 0x7f) {
            shown[i] = ' ';
        } else if (byte == 0xc2 && next >= 0x80 && next <= 0x9f) {
            shown.replace(i, 2, " ");
        }
    }
    return shown;
}

} // namespace tovin
