#pragma once

#include "shared/DecodeError.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <simdjson.h>
#include <string>
#include <string_view>
#include <utility>

// How the contract library reads its JSON documents: simdjson's On-Demand parser, with every value
// visited, so that the whole document is validated (values under ignored keys included) and
// nothing but white space may follow it.
namespace tovin::detail {

using JSONValue = simdjson::ondemand::value;
using JSONType = simdjson::ondemand::json_type;

// Parses `json` as one document (after a byte-order mark, if any) and hands its root to `read`,
// which must read it whole, then makes sure that only white space follows. Throws
// `DecodeError(wrongRoot)` when the root is not of type `rootType`, "not valid JSON…" for
// malformed text, and whatever `read` throws.
void readJSON(std::string_view json, JSONType rootType, const std::string& wrongRoot,
              const std::function<void(JSONValue& root)>& read);

// The same, parsing `json` where it stands: it grows by the few bytes the parser may read past the
// end, which moves it only when it has no room for them.
void readJSON(std::string&& json, JSONType rootType, const std::string& wrongRoot,
              const std::function<void(JSONValue& root)>& read);

// What the functions below throw for malformed JSON, and `readJSON` turns into `DecodeError`.
inline void check(simdjson::error_code error) {
    if (error)
        throw simdjson::simdjson_error(error);
}

JSONType typeOf(JSONValue& value);

// The text of `value` when it is a number, else no value.
std::optional<std::string_view> numberText(JSONValue& value);

// The string `value` holds, unescaped, when it is a string, else no value. The text lives as long
// as the document.
std::optional<std::string_view> stringValue(JSONValue& value);

// Reads `value` whole, whatever it holds, to make sure that it is well-formed.
void validate(JSONValue& value);

// The text of the string whose opening quote stands just before `start`, when it holds no escape
// and so means what it says; no value when it holds one. Parsing has made sure that every string
// ends with a quote and holds valid UTF-8 and no control character.
inline std::optional<std::string_view> textAsWritten(const char* start) {
    const char* end = start;
    while (*end != '"' && *end != '\\')
        ++end;
    if (*end == '\\')
        return std::nullopt;
    return std::string_view(start, static_cast<std::size_t>(end - start));
}

// Calls `each` with every element of the array `value`.
template <class Each> void forEachElement(JSONValue& value, Each&& each) {
    simdjson::ondemand::array array;
    check(value.get_array().get(array));
    for (auto result : array) {
        JSONValue element;
        check(std::move(result).get(element));
        each(element);
    }
}

// Calls `each` with the unescaped key and the value of every member of the object `value`, in
// document order. `each` must read the value or hand it to `validate`.
template <class Each> void forEachMember(JSONValue& value, Each&& each) {
    simdjson::ondemand::object object;
    check(value.get_object().get(object));
    for (auto result : object) {
        simdjson::ondemand::field member;
        check(std::move(result).get(member));
        std::optional<std::string_view> key = textAsWritten(member.key().raw());
        if (!key)
            check(member.unescaped_key().get(key.emplace()));
        each(*key, member.value());
    }
}

// The value of the number `value` when it is an integer in the signed 64-bit range, whatever its
// notation (3, 3.0, 0.3e1 and 1e3 alike), judged on its text: exact at both limits, with no
// rounding. No value for anything else.
std::optional<std::int64_t> int64Value(JSONValue& value);

// The fault of a value: `what`, then the value as the document writes it (a string with its quotes
// and escapes, an array or object as "[…]" or "{…}"), cut short enough to quote in a message.
DecodeError faultIn(JSONValue& value, const std::string& what);

// The faults of the `number`th element (from 1) of a list, which their messages name as `noun` and
// the number, as in: element 2 has no "id". The name is spelt out only when one is thrown.
class ElementFault {
public:
    ElementFault(const char* noun, std::size_t number)
        : noun_(noun)
        , number_(number) {}

    DecodeError operator()(const std::string& what) const;
    DecodeError operator()(const std::string& what, JSONValue& value) const;

private:
    std::string name() const;

    const char* noun_;
    std::size_t number_;
};

// Calls `each` as `forEachMember` does when the list element `element` is an object; throws
// `fault("is not an object", element)` when it is not.
template <class Each>
void forEachMember(JSONValue& element, const ElementFault& fault, Each&& each) {
    if (typeOf(element) != JSONType::object)
        throw fault("is not an object", element);
    forEachMember(element, std::forward<Each>(each));
}

} // namespace tovin::detail
