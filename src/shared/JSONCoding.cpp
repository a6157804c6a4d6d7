#include "shared/JSONCoding.h"

namespace tovin::detail {

std::string encodeJSON(const nlohmann::json& value) {
    const std::string plain = value.dump(2);
    // Outside strings JSON has no "/", so escaping every one escapes exactly those in strings.
    std::string escaped;
    escaped.reserve(plain.size() + plain.size() / 16);
    for (const char c : plain) {
        if (c == '/')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

} // namespace tovin::detail
