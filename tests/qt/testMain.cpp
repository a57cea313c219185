// testMain.cpp: runs the Linux shell's tests with a QApplication, in a throw-away folder of their own.
#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "shell.h"

int main(int argc, char* argv[])
{
    testing::InitGoogleTest(&argc, argv);
    // Test discovery runs the binary without a display: listing needs no application.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    int result = 0;
    {
        QApplication app(argc, argv);
        // The best-score file and the single-instance lock go into a folder only this run uses, so
        // tests running side by side do not see each other.
        QTemporaryDir scratch;
        if (!scratch.isValid() || !QDir::setCurrent(scratch.path())) return 2;
        qputenv(lockDirVariable, scratch.path().toLocal8Bit());
        result = RUN_ALL_TESTS();
    }
    // Ends like the program does, without Qt Multimedia's exit-time destructors: its sample cache
    // can deadlock there while a sound is still loading (seen as a passed test that never exited).
    std::fflush(nullptr);
    std::_Exit(result);
}
