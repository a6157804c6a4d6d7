#pragma once

#include <QIODevice>
#include <QImage>

namespace tovin {

// Writes `image`, which must not be null, to `device` as a PNG that decodes to exactly its pixels,
// with its colour space and resolution. 8-bit RGB images are encoded fast, in bands of rows on
// every core: each row less the row above, compressed at zlib's fastest level; an image with no
// pixel less than opaque is written without alpha, and one premultiplied by alpha is written as
// Qt unpremultiplies it. Any other format goes through Qt's PNG writer, which keeps its depth or
// palette. False when the image could not be encoded or `device` refused a write; what was
// written by then stays.
bool writePNG(const QImage& image, QIODevice& device);

} // namespace tovin
