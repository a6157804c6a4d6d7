#include "app/CommandLineShareRequest.h"

#include "app/ShareCommandLine.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <utility>

namespace tovin::share {

CommandLineShareRequest::CommandLineShareRequest(InputItem inputItem) {
    inputItems_.push_back(std::move(inputItem));
}

const std::vector<InputItem>& CommandLineShareRequest::inputItems() const {
    return inputItems_;
}

void CommandLineShareRequest::complete() {
    end(completed);
}

void CommandLineShareRequest::cancel(std::error_code) {
    end(cancelled);
}

void CommandLineShareRequest::end(int status) {
    if (std::exchange(ended_, true))
        return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [status] { QCoreApplication::exit(status); },
        Qt::QueuedConnection);
}

} // namespace tovin::share
