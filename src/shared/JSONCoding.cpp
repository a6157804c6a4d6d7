#include "shared/JSONCoding.h"

#include <charconv>
#include <limits>

namespace tovin::detail {

namespace {

// Builds the document like nlohmann's own parser, except that numbers written with a fraction or
// an exponent become integers when their value is one.
class IntegerPreservingParser : public nlohmann::detail::json_sax_dom_parser<nlohmann::json> {
public:
    using json_sax_dom_parser::json_sax_dom_parser;

    bool number_float(double value, const std::string& text) {
        if (const std::optional<std::int64_t> integer = parseExactInt64(text))
            return number_integer(*integer);
        return json_sax_dom_parser::number_float(value, text);
    }
};

// The decimal exponent written after "e" or "E", or no value when it does not fit.
std::optional<long long> exponentOf(std::string_view text) {
    if (text.starts_with('+'))
        text.remove_prefix(1);
    long long exponent = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), exponent);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return exponent;
}

} // namespace

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

std::optional<std::int64_t> parseExactInt64(std::string_view text) {
    const bool negative = text.starts_with('-');
    if (negative)
        text.remove_prefix(1);
    std::string_view mantissa = text.substr(0, text.find_first_of("eE"));
    long long exponent = 0;
    if (mantissa.size() < text.size()) {
        const std::optional<long long> written = exponentOf(text.substr(mantissa.size() + 1));
        if (!written)
            return mantissa.find_first_not_of("0.") == std::string_view::npos
                       ? std::optional<std::int64_t>(0)
                       : std::nullopt;
        exponent = *written;
    }

    // The value is `digits` times ten to the power `exponent`.
    std::string digits(mantissa.substr(0, mantissa.find('.')));
    if (const std::size_t dot = mantissa.find('.'); dot != std::string_view::npos) {
        digits += mantissa.substr(dot + 1);
        exponent -= static_cast<long long>(mantissa.size() - dot - 1);
    }
    digits.erase(0, digits.find_first_not_of('0'));
    if (digits.empty())
        return 0;
    while (digits.back() == '0') {
        digits.pop_back();
        ++exponent;
    }
    constexpr std::size_t maximumDigits = 19;
    if (exponent < 0 || digits.size() + static_cast<std::size_t>(exponent) > maximumDigits)
        return std::nullopt;
    digits.append(static_cast<std::size_t>(exponent), '0');
    const std::string_view limit = negative ? "9223372036854775808" : "9223372036854775807";
    if (digits.size() == limit.size() && digits > limit)
        return std::nullopt;

    std::uint64_t magnitude = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
    return negative ? static_cast<std::int64_t>(0 - magnitude)
                    : static_cast<std::int64_t>(magnitude);
}

std::optional<std::int64_t> exactInt64(std::uint64_t value) {
    if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return std::nullopt;
    return static_cast<std::int64_t>(value);
}

nlohmann::json parseJSON(std::string_view text) {
    nlohmann::json document;
    IntegerPreservingParser parser(document);
    nlohmann::json::sax_parse(text, &parser);
    return document;
}

std::string describeParseError(const nlohmann::json::exception& error) {
    const std::string_view message = error.what();
    const std::size_t tag = message.find("] ");
    return "not valid JSON: " +
           std::string(tag == std::string_view::npos ? message : message.substr(tag + 2));
}

std::optional<std::int64_t> exactInt64(const nlohmann::json& value) {
    if (value.is_number_integer() && !value.is_number_unsigned())
        return value.get<std::int64_t>();
    if (value.is_number_unsigned())
        return exactInt64(value.get<std::uint64_t>());
    return std::nullopt;
}

} // namespace tovin::detail
