#pragma once
// One QApplication for a test binary (GoogleTest's main does not make one).
#include <QApplication>

inline QApplication& qtTestApp()
{
    static int argc = 1;
    static char name[] = "tolmu_test";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}
