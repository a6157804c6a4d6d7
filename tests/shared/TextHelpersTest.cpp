#include "shared/PathComponent.h"
#include "shared/Printable.h"

#include <gtest/gtest.h>
#include <utility>

namespace tovin {
namespace {

using Rows = std::pair<std::string_view, std::string_view>[];

TEST(LastPathComponent, IsTheNameAPersonKnowsTheItemBy) {
    const Rows rows{{"/home/ada/report.pdf", "report.pdf"},
                    {"photos//", "photos"},
                    {"a", "a"},
                    {"x/.", "."},
                    {"/", "/"},
                    {"//", "/"},
                    {"", ""}};
    for (const auto& [path, name] : rows)
        EXPECT_EQ(lastPathComponent(path), name) << path;
}

TEST(Printable, TurnsControlCharactersIntoSpacesAndKeepsEverythingElse) {
    const Rows rows{{"Line\nbreak\r\t.", "Line break  ."},
                    {"\x1b[31mred\x7f", " [31mred "},
                    {"C1 \xc2\x85|\xc2\x9b|\xc2\x80", "C1  | | "},
                    {"caf\xc3\xa9\xc2\xa0\xe2\x80\xa8", "caf\xc3\xa9\xc2\xa0\xe2\x80\xa8"},
                    {"caf\xe9 \xc2\xc2\x85 \xc2", "caf\xe9 \xc2  \xc2"}};
    for (const auto& [text, shown] : rows)
        EXPECT_EQ(printable(text), shown) << text;
}

} // namespace
} // namespace tovin
