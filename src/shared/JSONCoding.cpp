#include "shared/JSONCoding.h"

#include <algorithm>
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

// A JSON number's text taken apart: its value is the digits of `integer` followed by those of
// `fraction`, times ten to the power of `exponent` less the length of `fraction`.
struct NumberParts {
    bool negative = false;
    std::string_view integer;
    std::string_view fraction;
    std::int64_t exponent = 0;
};

// Exponents are held up to this magnitude: a larger one gives the same answers, since no text in
// memory has enough digits to make up for it, and the arithmetic on it cannot overflow.
constexpr std::int64_t exponentLimit = std::int64_t{1} << 53;

std::string_view leadingDigits(std::string_view text) {
    return text.substr(0, text.find_first_not_of("0123456789"));
}

// The parts of `text` when it is a JSON number, else no value.
std::optional<NumberParts> splitNumber(std::string_view text) {
    NumberParts parts;
    parts.negative = text.starts_with('-');
    if (parts.negative)
        text.remove_prefix(1);
    parts.integer = leadingDigits(text);
    if (parts.integer.empty() || (parts.integer.size() > 1 && parts.integer.front() == '0'))
        return std::nullopt;
    text.remove_prefix(parts.integer.size());
    if (text.starts_with('.')) {
        parts.fraction = leadingDigits(text.substr(1));
        if (parts.fraction.empty())
            return std::nullopt;
        text.remove_prefix(1 + parts.fraction.size());
    }
    if (text.starts_with('e') || text.starts_with('E')) {
        const bool negative = text.substr(1).starts_with('-');
        text.remove_prefix(negative || text.substr(1).starts_with('+') ? 2 : 1);
        const std::string_view digits = leadingDigits(text);
        if (digits.empty())
            return std::nullopt;
        for (const char digit : digits)
            parts.exponent = std::min(parts.exponent * 10 + (digit - '0'), exponentLimit);
        if (negative)
            parts.exponent = -parts.exponent;
        text.remove_prefix(digits.size());
    }
    if (!text.empty())
        return std::nullopt;
    return parts;
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
    const std::optional<NumberParts> parts = splitNumber(text);
    if (!parts)
        return std::nullopt;
    if (parts->fraction.empty() && parts->exponent == 0) {
        std::int64_t value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        return error == std::errc() ? std::optional(value) : std::nullopt;
    }

    // The value is `digits` without its leading and trailing zeros, times ten to the power of
    // `exponent`.
    std::string digits(parts->integer);
    digits += parts->fraction;
    std::int64_t exponent = parts->exponent - static_cast<std::int64_t>(parts->fraction.size());
    const std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos)
        return 0;
    const std::size_t last = digits.find_last_not_of('0');
    exponent += static_cast<std::int64_t>(digits.size() - 1 - last);
    // Nineteen digits hold every magnitude up to 2^63, and no more than fit 64 bits.
    constexpr std::int64_t maximumDigits = 19;
    if (exponent < 0 || static_cast<std::int64_t>(last + 1 - first) + exponent > maximumDigits)
        return std::nullopt;
    std::uint64_t magnitude = 0;
    std::from_chars(digits.data() + first, digits.data() + last + 1, magnitude);
    for (; exponent > 0; --exponent)
        magnitude *= 10;
    constexpr std::uint64_t positiveLimit = std::numeric_limits<std::int64_t>::max();
    if (magnitude > positiveLimit + (parts->negative ? 1 : 0))
        return std::nullopt;
    return parts->negative ? static_cast<std::int64_t>(0 - magnitude)
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
