#include "intake/TypeRegistry.h"

#include <gtest/gtest.h>

namespace tovin {
namespace {

namespace Type = TypeIdentifier;

TEST(TypeRegistry, ConformanceFollowsTheHierarchy) {
    struct Case {
        std::string_view type, supertype;
        bool conforms;
    };
    const Case cases[] = {
        {Type::fileURL, Type::fileURL, true},    {Type::fileURL, Type::url, true},
        {Type::url, Type::fileURL, false},       {Type::fileURL, Type::image, false},
        {Type::png, Type::image, true},          {Type::jpeg, Type::image, true},
        {Type::png, Type::data, true},           {Type::image, Type::png, false},
        {"image/webp", Type::image, true},       {"image/png", Type::png, true},
        {Type::png, "image/png", true},          {"application/pdf", Type::data, true},
        {"application/pdf", Type::image, false}, {Type::utf8PlainText, Type::plainText, true},
        {Type::plainText, Type::url, false},     {Type::url, Type::plainText, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(conformsTo(c.type, c.supertype), c.conforms) << c.type << " -> " << c.supertype;
}

TEST(TypeRegistry, PathExtensionTakesTheTextAfterTheLastDotOfTheName) {
    const std::pair<const char*, const char*> cases[] = {
        {"file:///tmp/photo.png", "png"},
        {"file:///tmp/archive.tar.gz", "gz"},
        {"file:///tmp/.bashrc", ""},
        {"file:///tmp/a.", ""},
        {"file:///tmp/notes", ""},
        {"file:///tmp/", ""},
        {"file:///tmp.d/notes", ""},
        {"file:///tmp/photo.JPG/", "JPG"},
        {"https://example.com/a.b?c.d", "b"},
    };
    for (const auto& [url, extension] : cases)
        EXPECT_EQ(pathExtension(QUrl(url)), QString(extension)) << url;
    EXPECT_EQ(pathExtension(QUrl()), QString());
}

TEST(TypeRegistry, FilesAreImagesByTheirExtensionAlone) {
    const std::pair<const char*, bool> cases[] = {
        {"file:///tmp/a.png", true},         {"file:///tmp/a.JPG", true},
        {"file:///tmp/a.jpeg", true},        {"file:///tmp/a.webp", true},
        {"file:///tmp/a.pdf", false},        {"file:///tmp/a", false},
        {"file:///tmp/.png", false},         {"file:///tmp/a.png.txt", false},
        {"file:///tmp/a.unknownext", false},
    };
    for (const auto& [url, image] : cases)
        EXPECT_EQ(isImageFile(QUrl(url)), image) << url;
    EXPECT_EQ(typeForFilenameExtension("PNG"), std::string(Type::png));
    EXPECT_EQ(typeForFilenameExtension(""), std::nullopt);
}

} // namespace
} // namespace tovin
