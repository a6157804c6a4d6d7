#pragma once

#include "sheet/URLOpener.h"

#include <QString>

namespace tovin {

// Opens URLs with the desktop's opener program, started detached: without a desktop environment
// "xdg-open" may run the handler in the foreground, and nothing here waits for it.
class DesktopURLOpener final : public URLOpener {
public:
    explicit DesktopURLOpener(QString program = QStringLiteral("xdg-open"));

    void open(const QUrl& url) override;

private:
    QString program_;
};

} // namespace tovin
