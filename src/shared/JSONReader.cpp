#include "shared/JSONReader.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace tovin::detail {

namespace {

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

// Values are read no deeper than this below the level handed to `validate`.
constexpr int maximumDepth = 1000;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view leadingDigits(std::string_view text) {
    return text.substr(0, static_cast<std::size_t>(
                              std::find_if_not(text.begin(), text.end(), isDigit) - text.begin()));
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

// The text of a scalar as the document has it, without the white space that may follow it.
std::string_view tokenOf(JSONValue& value) {
    std::string_view token = value.raw_json_token();
    while (!token.empty() && (token.back() == ' ' || token.back() == '\n' || token.back() == '\r' ||
                              token.back() == '\t'))
        token.remove_suffix(1);
    return token;
}

// Requires `value`, which starts like true, false or null, to be spelled exactly so.
void validateLiteral(JSONValue& value) {
    const std::string_view word = tokenOf(value);
    if (word == "true" || word == "false" || word == "null")
        return;
    throw simdjson::simdjson_error(word.front() == 't'   ? simdjson::T_ATOM_ERROR
                                   : word.front() == 'f' ? simdjson::F_ATOM_ERROR
                                                         : simdjson::N_ATOM_ERROR);
}

void validate(JSONValue& value, int depth) {
    if (depth > maximumDepth)
        throw DecodeError("values are nested deeper than " + std::to_string(maximumDepth) +
                          " levels");
    switch (typeOf(value)) {
    case JSONType::array:
        forEachElement(value, [&](JSONValue& element) { validate(element, depth + 1); });
        return;
    case JSONType::object:
        forEachMember(value,
                      [&](std::string_view, JSONValue& member) { validate(member, depth + 1); });
        return;
    case JSONType::number:
        numberText(value);
        return;
    case JSONType::string:
        stringValue(value);
        return;
    case JSONType::boolean:
    case JSONType::null:
        validateLiteral(value);
        return;
    }
}

// The byte of `text` (counting from 1) at which reading stopped, when it is known.
std::optional<std::size_t> locationIn(simdjson::ondemand::document& document,
                                      std::string_view text) {
    const char* location = nullptr;
    if (document.current_location().get(location) || location < text.data() ||
        location > text.data() + text.size())
        return std::nullopt;
    return static_cast<std::size_t>(location - text.data()) + 1;
}

DecodeError invalid(const simdjson::simdjson_error& error, std::optional<std::size_t> byte) {
    return DecodeError(std::string("not valid JSON") +
                       (byte ? " near byte " + std::to_string(*byte) : std::string()) + ": " +
                       error.what());
}

// The value of a JSON number's text when it is an integer in the signed 64-bit range.
std::optional<std::int64_t> exactInt64(std::string_view text) {
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

// The value of `text` when it is an integer of at most 18 digits with no fraction or exponent,
// as nearly every id is written, which fits 64 bits whatever its digits; else no value, and the
// general rules judge the text.
std::optional<std::int64_t> plainInteger(std::string_view text) {
    const bool negative = text.starts_with('-');
    const std::string_view digits = text.substr(negative ? 1 : 0);
    constexpr std::size_t mostDigits = 18;
    if (digits.empty() || digits.size() > mostDigits || (digits[0] == '0' && digits.size() > 1))
        return std::nullopt;
    std::int64_t magnitude = 0;
    for (const char digit : digits) {
        if (!isDigit(digit))
            return std::nullopt;
        magnitude = magnitude * 10 + (digit - '0');
    }
    return negative ? -magnitude : magnitude;
}

// `value` as the document writes it, cut short enough to quote in a message.
std::string excerpt(JSONValue& value) {
    switch (typeOf(value)) {
    case JSONType::array:
        return "[…]";
    case JSONType::object:
        return "{…}";
    default:
        break;
    }
    constexpr std::size_t longest = 40;
    const std::string_view text = tokenOf(value);
    if (text.size() <= longest)
        return std::string(text);
    // Cut between characters, not inside one.
    std::size_t end = longest;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return std::string(text.substr(0, end)) + "…";
}

} // namespace

void readJSON(std::string_view json, JSONType rootType, const std::string& wrongRoot,
              const std::function<void(JSONValue& root)>& read) {
    std::string text;
    text.reserve(json.size() + simdjson::SIMDJSON_PADDING);
    text = json;
    readJSON(std::move(text), rootType, wrongRoot, read);
}

void readJSON(std::string&& json, JSONType rootType, const std::string& wrongRoot,
              const std::function<void(JSONValue& root)>& read) {
    const std::string_view byteOrderMark = "\xEF\xBB\xBF";
    const std::size_t skipped = json.starts_with(byteOrderMark) ? byteOrderMark.size() : 0;
    const std::size_t length = json.size() - skipped;
    // The parser reads up to SIMDJSON_PADDING bytes past the end, which must be there.
    json.resize(json.size() + simdjson::SIMDJSON_PADDING);
    const simdjson::padded_string_view text(json.data() + skipped, length, json.size() - skipped);
    simdjson::ondemand::parser parser;
    simdjson::ondemand::document document;
    try {
        check(parser.iterate(text).get(document));
    } catch (const simdjson::simdjson_error& error) {
        throw invalid(error, std::nullopt);
    }
    try {
        JSONType type{};
        check(document.type().get(type));
        if (type != rootType)
            throw DecodeError(wrongRoot);
        JSONValue root;
        check(document.get_value().get(root));
        read(root);
        const char* trailing = nullptr;
        if (!document.current_location().get(trailing))
            throw simdjson::simdjson_error(simdjson::TRAILING_CONTENT);
    } catch (const simdjson::simdjson_error& error) {
        const std::optional<std::size_t> byte = locationIn(document, text);
        throw invalid(error, byte ? std::optional(*byte + skipped) : std::nullopt);
    }
}

JSONType typeOf(JSONValue& value) {
    JSONType type{};
    check(value.type().get(type));
    return type;
}

std::optional<std::string_view> numberText(JSONValue& value) {
    if (typeOf(value) != JSONType::number)
        return std::nullopt;
    const std::string_view text = tokenOf(value);
    if (!splitNumber(text))
        throw simdjson::simdjson_error(simdjson::NUMBER_ERROR);
    return text;
}

std::optional<std::string_view> stringValue(JSONValue& value) {
    // Most strings hold no escape: their text is read where it stands, and the value, left unread,
    // is stepped over by what reads on.
    if (const std::string_view token = tokenOf(value); token.starts_with('"')) {
        if (const std::optional<std::string_view> text = textAsWritten(token.data() + 1))
            return text;
    }
    std::string_view text;
    const simdjson::error_code error = value.get_string().get(text);
    if (error == simdjson::INCORRECT_TYPE)
        return std::nullopt;
    check(error);
    return text;
}

void validate(JSONValue& value) {
    validate(value, 0);
}

std::optional<std::int64_t> int64Value(JSONValue& value) {
    if (typeOf(value) != JSONType::number)
        return std::nullopt;
    if (const std::optional<std::int64_t> plain = plainInteger(tokenOf(value)))
        return plain;
    const std::optional<std::string_view> text = numberText(value);
    return text ? exactInt64(*text) : std::nullopt;
}

DecodeError faultIn(JSONValue& value, const std::string& what) {
    return DecodeError(what + ": " + excerpt(value));
}

std::string ElementFault::name() const {
    return std::string(noun_) + " " + std::to_string(number_);
}

DecodeError ElementFault::operator()(const std::string& what) const {
    return DecodeError(name() + " " + what);
}

DecodeError ElementFault::operator()(const std::string& what, JSONValue& value) const {
    return faultIn(value, name() + " " + what);
}

} // namespace tovin::detail
