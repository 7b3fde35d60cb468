#pragma once

#include <QApplication>

#include "Clocks.h"

#include "transition/TransitionView.h"

// What the benchmarks that drive the real view share: a Qt application without
// a display, and the process's clocks in seconds (Clocks.h).
namespace kalvio::bench {

inline QApplication& OffscreenApplication()
{
    static int argc = 1;
    static char name[] = "kalvio-bench";
    static char* argv[] = { name, nullptr };
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: torn down among the other exit handlers, the
    // application's input devices outlive the platform that made them.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// The view set up as the slideshow sets up its own, at a client size of w x h,
// shown offscreen.
inline void SetUpShowView(TTransitionView& view, int w, int h)
{
    view.SetAutoSize(false);
    view.SetThreaded(false);
    view.SetCenter(true);
    view.SetStretch(true);
    view.resize(w, h);
    view.show();
}

}
