// main.cpp: the Linux program's entry; everything else lives in the shell.
#include <cstdio>
#include <cstdlib>

#include <QApplication>

#include "shell.h"
#include "userFiles.h"

int main(int argc, char* argv[]) {
    // When the per-user folder cannot be made the game still runs, in the folder it was started in.
    enterUserFolderWhenAsked(argc, argv);
    // A whole scale factor keeps the 24-pixel cells sharp on high-density screens.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::Round);
    int code = 0;
    {
        QApplication app(argc, argv);
        code = pilaroMain();
    }
    // Qt Multimedia's sample cache waits for its loader thread in an exit-time destructor, and
    // deadlocks when a sound is still being loaded then (a key pressed just before quitting).
    // Everything of the game's is released by now, so the process ends without those handlers.
    std::fflush(nullptr);
    std::_Exit(code);
}
