#pragma once

#include <QChar>
#include <QStringView>

namespace tovin {

// Whether `c` ends a line: LF, VT, FF, CR, NEL, or the line or paragraph separator.
inline bool isLineBreak(QChar c) {
    return (c >= u'\n' && c <= u'\r') || c == u'\u0085' || c == u'\u2028' || c == u'\u2029';
}

// `text` without the characters at either end for which `isSpace` holds.
template <typename IsSpace> QStringView trimmed(QStringView text, IsSpace isSpace) {
    while (!text.isEmpty() && isSpace(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isSpace(text.back()))
        text.chop(1);
    return text;
}

} // namespace tovin
