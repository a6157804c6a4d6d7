#include "intake/TypeRegistry.h"

#include <gtest/gtest.h>
#include <tuple>

namespace tovin {
namespace {

TEST(TypeRegistry, FilesAreImagesByTheTextAfterTheLastDotOfTheirName) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"file:///tmp/photo.png", "png", true},
        {"file:///tmp/photo.JPG/", "JPG", true},
        {"file:///tmp/a.webp", "webp", true},
        {"file:///tmp/a.pdf", "pdf", false},
        {"file:///tmp/a.png.txt", "txt", false},
        {"file:///tmp/a.unknownext", "unknownext", false},
        {"file:///tmp/.png", "", false},
        {"file:///tmp/a.", "", false},
        {"file:///tmp/notes", "", false},
        {"file:///tmp.d/notes", "", false},
        {"file:///tmp/", "", false},
        {"https://example.com/a.b?c.d", "b", false},
        {"", "", false},
    };
    for (const auto& [url, extension, image] : cases) {
        EXPECT_EQ(pathExtension(QUrl(url)).toStdString(), extension) << url;
        EXPECT_EQ(isImageFile(QUrl(url)), image) << url;
    }
    EXPECT_EQ(typeForFilenameExtension("PNG"), std::string(TypeIdentifier::png));
}

} // namespace
} // namespace tovin
