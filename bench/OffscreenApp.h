#pragma once

#include <ctime>

#include <QApplication>

// What the benchmarks that drive the real view share: a Qt application without
// a display, and the process's clocks in seconds.
namespace kalvio::bench {

inline QApplication& OffscreenApplication()
{
    static int argc = 1;
    static char name[] = "kalvio-bench";
    static char* argv[] = { name, nullptr };
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

inline double Seconds(clockid_t clock)
{
    timespec t {};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

}
