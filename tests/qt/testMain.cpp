// testMain.cpp: runs the Linux shell's tests with a QApplication, in a throw-away folder of their own.
#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QDir>
#include <QProxyStyle>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "shell.h"

// Fault guarded against: some desktops' styles put icons on a box's buttons, which Windows never
// shows. This style always asks for them, so the tests see whether the shell takes them off.
struct ButtonIconStyle : QProxyStyle {
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        return hint == SH_DialogButtonBox_ButtonsHaveIcons ? 1 : QProxyStyle::styleHint(hint, option, widget, data);
    }
};

int main(int argc, char* argv[]) {
    testing::InitGoogleTest(&argc, argv);
    // Test discovery runs the binary without a display: listing needs no application.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    // The application and the folder go before the end below, which runs no destructors.
    const int result = [&] {
        QApplication app(argc, argv);
        QApplication::setStyle(new ButtonIconStyle);
        // The best-score file and the single-instance lock go into a folder only this run uses, so
        // tests running side by side (and other checkouts' tests) do not see each other.
        QTemporaryDir scratch;
        if (!scratch.isValid() || !QDir::setCurrent(scratch.path())) return 2;
        qputenv(lockDirVariable, scratch.path().toLocal8Bit());
        return RUN_ALL_TESTS();
    }();
    // Ends like the program does, without Qt Multimedia's exit-time destructors: its sample cache
    // can deadlock there while a sound is still loading (seen as a passed test that never exited).
    std::fflush(nullptr);
    std::_Exit(result);
}
