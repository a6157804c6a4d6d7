#pragma once

#include <QByteArray>
#include <QUrl>
#include <filesystem>

namespace tovin {

// File URLs that keep a path's bytes. The file system's names are bytes, not text: a name that
// is not UTF-8 (a Latin-1 "caf\xe9.txt") must still name its file after a trip through a URL, so
// paths are percent-encoded and decoded byte by byte, never through Qt's UTF-16 file names.

// The "file:" URL of `path`, taken from the current folder when relative.
QUrl fileURL(const std::filesystem::path& path);

// The path of a "file:" URL, its percent-encoded bytes decoded as they are; the host is not
// looked at.
std::filesystem::path localPath(const QUrl& url);

// The URL that `bytes` spell, read tolerantly as people type and programs write them: a byte
// outside printable ASCII, as in a name that is not UTF-8, stands for itself, percent-encoded.
QUrl urlFromBytes(const QByteArray& bytes);

} // namespace tovin
