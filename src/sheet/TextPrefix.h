#pragma once

#include <QStringView>
#include <algorithm>

namespace tovin {

// The first `length` code units of `text`, one fewer where the last would be the first half of a
// surrogate pair, or the whole text when it is no longer: a start that holds whole characters
// only, for texts too long to measure in full.
inline QStringView textPrefix(QStringView text, qsizetype length) {
    if (length >= text.size())
        return text;
    return text.first(length > 0 && text[length - 1].isHighSurrogate() ? length - 1 : length);
}

} // namespace tovin
