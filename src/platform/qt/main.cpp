// main.cpp: the Linux program's entry; everything else lives in the shell.
#include <QApplication>

#include "shell.h"

int main(int argc, char* argv[])
{
    // A whole scale factor keeps the 24-pixel cells sharp on high-density screens.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::Round);
    QApplication app(argc, argv);
    return pilaroMain();
}
