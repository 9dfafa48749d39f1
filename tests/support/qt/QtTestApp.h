#pragma once
// The one QApplication of support_qt_tests, made on first use by whichever test needs it.
#include <gtest/gtest.h>

#include <QApplication>

inline void EnsureQtTestApp() {
    if (QCoreApplication::instance() != nullptr)
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "support_qt_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    // Deleted after the last test so the caches it holds are gone before the leak check.
    struct AppEnvironment : ::testing::Environment {
        void TearDown() override { delete app; }
    };
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);
}
