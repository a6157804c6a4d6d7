#include "shared/JSONCoding.h"

namespace tovin::detail {

std::string encodeJSON(const nlohmann::json& value) {
    const std::string plain = value.dump(2);
    // Outside strings JSON has no "/", so escaping every one escapes exactly those in strings.
    std::string escaped;
    escaped.reserve(plain.size() + plain.size() / 16);
    std::size_t start = 0;
    for (std::size_t slash; (slash = plain.find('/', start)) != std::string::npos;
         start = slash + 1) {
        escaped.append(plain, start, slash - start);
        escaped += "\\/";
    }
    escaped.append(plain, start);
    return escaped;
}

} // namespace tovin::detail
