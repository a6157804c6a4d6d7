#pragma once

#include "intake/ItemProvider.h"
#include "shared/FileManager.h"
#include "shared/UUIDSource.h"

#include <QCoro/QCoroTask>
#include <QString>
#include <QUrl>
#include <memory>

namespace tovin {

// The four loaders ask a provider for one kind of content and wait for it without blocking the
// main thread, on which they must be called and on which they resume. Each either returns a value
// or throws: the provider's own error unchanged as `std::system_error`, or whatever its load threw
// when it could not start; the file system's error from the image loader's write; or the loader's
// `IntakeError` when the provider delivered nothing it accepts, or dropped its completion.

// A file URL: a URL delivered as such, unchanged, or bytes that spell a URL. Else `noFileURL`.
QCoro::Task<QUrl> loadFileURL(const ItemProvider& provider);

// A URL of a file holding the image: a URL delivered as such, unchanged and untouched; else an
// image or bytes written to a new temporary file (`writeTemporaryImageFile`). Else `noImage`.
QCoro::Task<QUrl> loadImageData(const ItemProvider& provider,
                                std::shared_ptr<FileManager> fileManager,
                                std::shared_ptr<UUIDSource> uuidSource);

// The link as shared: a URL delivered as such, written out fully encoded, or a text that parses
// as a URL, exactly as given (neither decoded nor normalised). Else `noURL`.
QCoro::Task<QString> loadURL(const ItemProvider& provider);

// A text: a text delivered as such, unchanged, or bytes that are valid UTF-8. Else `noText`.
QCoro::Task<QString> loadText(const ItemProvider& provider);

// The URL the text spells under the rules of RFC 3986: no value for the empty text, or for a
// text holding a space, a character outside ASCII, "[" or "]" anywhere but around an IP address
// as the host, or anything else a URL cannot hold.
std::optional<QUrl> parseURL(const QString& text);

} // namespace tovin
