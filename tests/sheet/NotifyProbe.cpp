// Posts one enqueue signal on the session bus and exits at once, skipping every clean-up.
#include "sheet/DBusNotifier.h"

#include <QCoreApplication>
#include <cstdlib>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    tovin::DBusNotifier().post();
    std::_Exit(0);
}
