#pragma once

#include <QStringView>

namespace tovin {

// `text` without the characters at either end for which `isSpace` holds.
template <typename IsSpace> QStringView trimmed(QStringView text, IsSpace isSpace) {
    while (!text.isEmpty() && isSpace(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isSpace(text.back()))
        text.chop(1);
    return text;
}

} // namespace tovin
