#include "sheet/DesktopURLOpener.h"

#include <QProcess>

namespace tovin {

DesktopURLOpener::DesktopURLOpener(QString program)
    : program_(std::move(program)) {}

void DesktopURLOpener::open(const QUrl& url) {
    QProcess::startDetached(program_, {url.toString(QUrl::FullyEncoded)});
}

} // namespace tovin
