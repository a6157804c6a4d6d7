#include "intake/FileURL.h"

namespace tovin {

QUrl fileURL(const std::filesystem::path& path) {
    const std::string absolute = std::filesystem::absolute(path).native();
    const QByteArray bytes(absolute.data(), static_cast<qsizetype>(absolute.size()));
    QUrl url;
    url.setScheme(QStringLiteral("file"));
    url.setPath(QString::fromLatin1(bytes.toPercentEncoding("/")), QUrl::StrictMode);
    return url;
}

std::filesystem::path localPath(const QUrl& url) {
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

QUrl urlFromBytes(const QByteArray& bytes) {
    QByteArray ascii;
    ascii.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (code > ' ' && code < 0x7f)
            ascii.append(byte);
        else
            ascii.append('%').append(QByteArray::number(code, 16).rightJustified(2, '0').toUpper());
    }
    return QUrl(QString::fromLatin1(ascii), QUrl::TolerantMode);
}

} // namespace tovin
