#include "shared/DecodeError.h"
#include "shared/ShareOutbox.h"

#include <gtest/gtest.h>
#include <limits>
#include <system_error>

namespace tovin {
namespace {

using Manifest = ShareOutbox::Manifest;
using Kind = Manifest::Attachment::Kind;

ShareOutbox::Timestamp milliseconds(double count) {
    return ShareOutbox::Timestamp(ShareOutbox::Timestamp::duration(count));
}

TEST(Manifest, EncodesTheExactShapeTheHostReadsAndReadsItBack) {
    const Manifest manifest{std::numeric_limits<std::int64_t>::min(),
                            "Look: a/b \"quoted\" é",
                            "https://example.org/a?b=c",
                            {{Kind::image, "IMG_0001.JPG"}, {Kind::file, "notes 2.txt"}},
                            milliseconds(1733491234567.25)};
    EXPECT_EQ(manifest.encode(), R"({
  "attachments": [
    {
      "filename": "IMG_0001.JPG",
      "kind": "image"
    },
    {
      "filename": "notes 2.txt",
      "kind": "file"
    }
  ],
  "chatId": -9223372036854775808,
  "createdAt": 1733491234567.25,
  "text": "Look: a\/b \"quoted\" é",
  "url": "https:\/\/example.org\/a?b=c"
})");
    EXPECT_EQ(Manifest::decode(manifest.encode()), manifest);

    // Not UTF-8: a standard exception, never the JSON library's.
    for (const Manifest& wrong :
         {Manifest{1, "\xC3(", std::nullopt, {}, milliseconds(0)},
          Manifest{1, std::nullopt, "\xF4\x90\x80\x80", {}, milliseconds(0)},
          Manifest{1, std::nullopt, std::nullopt, {{Kind::file, "\xC0\xAF"}}, milliseconds(0)}}) {
        try {
            wrong.encode();
            ADD_FAILURE() << "encoded";
        } catch (const std::system_error& error) {
            EXPECT_EQ(error.code(), std::errc::illegal_byte_sequence);
        }
    }
}

TEST(Manifest, ReadsWhatTheHostMayWrite) {
    const Manifest expected{3, std::nullopt, std::nullopt, {{Kind::image, "a"}}, milliseconds(5)};
    for (const char* json :
         {R"({"chatId":3,"createdAt":5,"attachments":[{"kind":"image","filename":"a"}]})",
          R"({"chatId":0.03e2,"createdAt":5.0,"attachments":[{"kind":"image","filename":"a"}],
                 "text":null,"url":null})",
          R"({"chatId":3,"createdAt":5e0,"attachments":[{"kind":"image","filename":"a",
                 "size":12}],"id":"X","extra":{"chatId":"no"}})",
          R"({"\u0063hatId":3,"createdAt":5000000000000000000000e-21,"text":"x","text":null,
                 "attachments":[{"kind":"image","filename":"a","x":[1e400,{"":[]}]}]})"})
        EXPECT_EQ(Manifest::decode(json), expected) << json;
}

// What any JSON document may get wrong is the snapshot's table; these are the manifest's own.
TEST(Manifest, RejectsAWholeDocumentForOneFault) {
    using namespace std::string_view_literals;
    const std::string_view cases[] = {
        R"([])", R"({"createdAt":5,"attachments":[]})", R"({"chatId":1,"attachments":[]})",
        R"({"chatId":1,"createdAt":5})",
        R"({"chatId":-9223372036854775808.5,"createdAt":5,"attachments":[]})",
        R"({"chatId":1.5e-9223372036854775808,"createdAt":5,"attachments":[]})",
        R"({"chatId":1,"createdAt":"2024-01-01","attachments":[]})",
        R"({"chatId":1,"createdAt":1.5e9223372036854775807,"attachments":[]})",
        R"({"chatId":1,"createdAt":5,"attachments":{}})",
        R"({"chatId":1,"createdAt":5,"attachments":[],"text":5})",
        R"({"chatId":1,"createdAt":5,"attachments":[],"url":["u"]})",
        R"({"chatId":1,"createdAt":5,"attachments":["a"]})",
        R"({"chatId":1,"createdAt":5,"attachments":[{"kind":"Image","filename":"a"}]})",
        R"({"chatId":1,"createdAt":5,"attachments":[{"kind":"image"}]})",
        R"({"chatId":1,"createdAt":5,"attachments":[{"filename":"a"}]})",
        R"({"chatId":1,"createdAt":5,"attachments":[{"kind":"file","filename":7}]})",
        // A filename is one path component: an attachment never lies outside its entry.
        R"({"chatId":1,"createdAt":5,"attachments":[{"kind":"file","filename":""}]})",
        R"({"chatId":1,"createdAt":5,"attachments":[{"kind":"file","filename":"."}]})",
        R"({"chatId":1,"createdAt":5,"attachments":[{"kind":"file","filename":".."}]})",
        R"({"chatId":1,"createdAt":5,"attachments":[{"kind":"file","filename":"a\/.."}]})",
        R"({"chatId":1,"createdAt":5,"attachments":[{"kind":"file","filename":"\u0000"}]})",
        "{\"chatId\":1,\"createdAt\":5,\"attachments\":[]}\0{\"chatId\":2}"sv};
    for (const std::string_view json : cases)
        EXPECT_THROW(Manifest::decode(json), DecodeError) << json;
}

} // namespace
} // namespace tovin
