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

TEST(Manifest, EncodesTheExactShapeTheHostReads) {
    const Manifest manifest{-42,
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
  "chatId": -42,
  "createdAt": 1733491234567.25,
  "text": "Look: a\/b \"quoted\" é",
  "url": "https:\/\/example.org\/a?b=c"
})");
}

TEST(Manifest, LeavesOutAbsentTextAndURLButNeverAttachments) {
    const Manifest manifest{7, std::nullopt, std::nullopt, {}, milliseconds(1000)};
    EXPECT_EQ(manifest.encode(), R"({
  "attachments": [],
  "chatId": 7,
  "createdAt": 1000.0
})");
}

TEST(Manifest, RefusesToEncodeWhatIsNotUTF8WithAStandardException) {
    for (const Manifest& manifest :
         {Manifest{1, "\xC3(", std::nullopt, {}, milliseconds(0)},
          Manifest{1, std::nullopt, "\xF4\x90\x80\x80", {}, milliseconds(0)},
          Manifest{1, std::nullopt, std::nullopt, {{Kind::file, "\xC0\xAF"}}, milliseconds(0)}}) {
        try {
            manifest.encode();
            ADD_FAILURE() << "encoded";
        } catch (const std::system_error& error) {
            EXPECT_EQ(error.code(), std::errc::illegal_byte_sequence);
        }
    }
}

TEST(Manifest, RoundTripsExactly) {
    for (const std::int64_t chatId : {std::numeric_limits<std::int64_t>::min(), std::int64_t{-1},
                                      std::int64_t{0}, std::numeric_limits<std::int64_t>::max()}) {
        const Manifest manifest{chatId, "", "u", {{Kind::file, ""}}, milliseconds(0.001)};
        EXPECT_EQ(Manifest::decode(manifest.encode()), manifest);
    }
}

TEST(Manifest, ReadsWhatTheHostMayWrite) {
    const Manifest expected{3, std::nullopt, std::nullopt, {{Kind::image, "a"}}, milliseconds(5)};
    for (const char* json :
         {R"({"chatId":3,"createdAt":5,"attachments":[{"kind":"image","filename":"a"}]})",
          R"({"chatId":0.03e2,"createdAt":5.0,"attachments":[{"kind":"image","filename":"a"}],
                 "text":null,"url":null})",
          R"({"chatId":3,"createdAt":5e0,"attachments":[{"kind":"image","filename":"a",
                 "size":12}],"id":"X","extra":{"chatId":"no"}})"})
        EXPECT_EQ(Manifest::decode(json), expected) << json;
}

TEST(Manifest, RejectsAWholeDocumentForOneFault) {
    for (const char* json :
         {"",
          R"({"chatId":1,"createdAt":5,"attachments":[{"kind":"file","filename":"a"}])",
          R"([])",
          R"({"createdAt":5,"attachments":[]})",
          R"({"chatId":1,"attachments":[]})",
          R"({"chatId":1,"createdAt":5})",
          R"({"chatId":null,"createdAt":5,"attachments":[]})",
          R"({"chatId":1,"createdAt":null,"attachments":[]})",
          R"({"chatId":1,"createdAt":5,"attachments":null})",
          R"({"chatId":"1","createdAt":5,"attachments":[]})",
          R"({"chatId":1.5,"createdAt":5,"attachments":[]})",
          R"({"chatId":9223372036854775808,"createdAt":5,"attachments":[]})",
          R"({"chatId":-9223372036854775809,"createdAt":5,"attachments":[]})",
          R"({"chatId":-9223372036854775808.5,"createdAt":5,"attachments":[]})",
          R"({"chatId":1,"createdAt":"2024-01-01","attachments":[]})",
          R"({"chatId":1,"createdAt":5,"attachments":{}})",
          R"({"chatId":1,"createdAt":5,"attachments":[],"text":5})",
          R"({"chatId":1,"createdAt":5,"attachments":[],"url":["u"]})",
          R"({"chatId":1,"createdAt":5,"attachments":["a"]})",
          R"({"chatId":1,"createdAt":5,"attachments":[{"kind":"Image","filename":"a"}]})",
          R"({"chatId":1,"createdAt":5,"attachments":[{"kind":"image"}]})",
          R"({"chatId":1,"createdAt":5,"attachments":[{"filename":"a"}]})",
          R"({"chatId":1,"createdAt":5,"attachments":[{"kind":"file","filename":7}]})"})
        EXPECT_THROW(Manifest::decode(json), DecodeError) << json;
}

} // namespace
} // namespace tovin
