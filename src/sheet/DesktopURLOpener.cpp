#include "sheet/DesktopURLOpener.h"

#include <QProcess>

namespace tovin {

DesktopURLOpener::DesktopURLOpener(QString program)
    : program_(std::move(program)) {}

// The opener and the handler it starts get none of the sheet's standard streams: what they print
// is theirs, and the sheet's input is not theirs to read.
void DesktopURLOpener::open(const QUrl& url) {
    QProcess opener;
    opener.setProgram(program_);
    opener.setArguments({url.toString(QUrl::FullyEncoded)});
    opener.setStandardInputFile(QProcess::nullDevice());
    opener.setStandardOutputFile(QProcess::nullDevice());
    opener.setStandardErrorFile(QProcess::nullDevice());
    opener.startDetached();
}

} // namespace tovin
