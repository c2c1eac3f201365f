// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One QApplication for a test binary (GoogleTest's main does not make one).
// It is deleted when the tests end, before static destructors run: a
// function-static application outlives Qt's own globals and crashes at exit.
#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

inline QApplication& qtTestApp()
{
    class AppEnvironment : public testing::Environment {
    public:
        void TearDown() override { app.reset(); }
        std::unique_ptr<QApplication> app;
    };
    static int argc = 1;
    static char name[] = "tolmu_test";
    static char* argv[] = {name, nullptr};
    static AppEnvironment* env = [] {
        auto* e = new AppEnvironment; // owned by GoogleTest
        e->app = std::make_unique<QApplication>(argc, argv);
        testing::AddGlobalTestEnvironment(e);
        return e;
    }();
    return *env->app;
}
