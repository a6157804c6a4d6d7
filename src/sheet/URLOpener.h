#pragma once

#include <QUrl>

namespace tovin {

// Asks the desktop to open a URL in the application registered for its scheme.
class URLOpener {
public:
    virtual ~URLOpener() = default;

    // Starts opening `url` and returns at once. Whether anything opens it is not reported.
    virtual void open(const QUrl& url) = 0;
};

} // namespace tovin
