// start.cpp: the program's start (the single-instance lock, the windows, the first game), its
// message loop and its end.
#include <cstdlib>
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

#include "platform/platform.h"
#include "present/shellFacts.h"
#include "program/program.h"
#include "shell.h"

bool benchTrace = false;

namespace {

QLockFile* instanceLock = nullptr;  // held for the whole run, so that a second copy finds it

// Another copy holds the lock: false. A lock left behind by a copy that died is taken over.
bool takeInstanceLock() {
    QString dir = qEnvironmentVariable(lockDirVariable);
    if (dir.isEmpty()) dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    instanceLock = new QLockFile(dir + QStringLiteral("/pilaro.lock"));
    instanceLock->setStaleLockTime(0);
    if (instanceLock->tryLock(0)) return true;
    // Only a living holder refuses the start; a lock that cannot be made at all does not.
    return instanceLock->error() != QLockFile::LockFailedError;
}

}  // namespace

// Plain stdio: the iostreams' start-up alone keeps a few hundred kilobytes of the C++ library in
// memory.
void debugOutput(const std::string& utf8) { std::fprintf(stderr, "%s\n", utf8.c_str()); }

bool startShell() {
    // The program ends when either window closes, which the close handlers see to; Qt's own rule
    // (quit when the last visible window closes) would leave a quit behind for a later loop.
    QApplication::setQuitOnLastWindowClosed(false);
    benchTrace = qEnvironmentVariableIsSet("PILARO_BENCH_TRACE");
    if (!takeInstanceLock()) {
        runMessageBox(alreadyRunningText, alreadyRunningTitle);
        delete instanceLock;
        instanceLock = nullptr;
        return false;
    }
    makeBackBuffer();
    makeWindows();
    // PILARO_SEED deals a chosen game, for tests; else the clock's.
    startProgram(std::getenv("PILARO_RANKING_URL"), std::getenv("PILARO_SEED"));
    return true;
}

int runShell() {
    const int code = QApplication::exec();
    releaseArt();
    forgetNameControls();
    releaseWindows();
    delete instanceLock;  // unlocks
    instanceLock = nullptr;
    return code;
}

int pilaroMain() {
    if (!startShell()) return 0;
    return runShell();
}
