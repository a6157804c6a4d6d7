#include "sheet/Translation.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <tuple>

namespace tovin {

Translation::Translation(const QLocale& locale, const std::filesystem::path& folder) {
    const QString directory = QFile::decodeName(QByteArray::fromStdString(folder.native()));
    for (const QString& name : locale.uiLanguages()) {
        const QLocale language(name);
        // English before any other language is the texts as they are.
        if (language.language() == QLocale::English)
            return;
        if (own_.load(language, QStringLiteral("tovin-share"), QStringLiteral("_"), directory))
            break;
    }
    if (own_.isEmpty())
        return;
    // Qt's texts in the language found, not in the locale's first: Qt's Persian beside tovin's
    // English would mix languages and directions.
    std::ignore = qt_.load(*language(), QStringLiteral("qtbase"), QStringLiteral("_"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

void Translation::install() {
    const std::optional<QLocale> found = language();
    if (!found)
        return;
    // The application asks the latest translation first: tovin's own before Qt's.
    QCoreApplication::installTranslator(&qt_);
    QCoreApplication::installTranslator(&own_);
    // Only a window's application has a direction: a core one has no windows to lay out.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr)
        QGuiApplication::setLayoutDirection(found->textDirection());
}

std::optional<QLocale> Translation::language() const {
    if (own_.isEmpty())
        return std::nullopt;
    return QLocale(own_.language());
}

} // namespace tovin
