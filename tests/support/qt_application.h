#pragma once
// The one Qt application object that Qt-based tests without widgets need
// (the serial device's notifiers and timers). Created on first use.

#include <QCoreApplication>

namespace velora::testing {

inline void ensureCoreApplication() {
    static int argc = 1;
    static char name[] = "velora-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

}  // namespace velora::testing
