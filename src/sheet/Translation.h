#pragma once

#include <QLocale>
#include <QTranslator>
#include <filesystem>
#include <optional>

namespace tovin {

// tovin-share's texts, the sheet's and the command line's, in the language of a locale: the
// translation "tovin-share_<language>.qm" in a folder, for the first language of the locale that
// one is there for, and Qt's own texts (a field's menu, the command line's errors) in that same
// language. The texts are written in English, which needs no file; a language without one is
// English too, so that words and direction always agree.
class Translation {
public:
    // Reads the translation for `locale` from `folder`; nothing is in use until install(). A
    // folder or file that is missing or cannot be read leaves English.
    Translation(const QLocale& locale, const std::filesystem::path& folder);
    Translation(const Translation&) = delete;
    Translation& operator=(const Translation&) = delete;

    // Puts the texts and the language's direction, right to left for Arabic, to use in the
    // running application; called again in an application made later. Ending the translation
    // takes its texts out of use.
    void install();

    // The language whose texts were read; none for English.
    std::optional<QLocale> language() const;

private:
    QTranslator own_;
    QTranslator qt_;
};

} // namespace tovin
