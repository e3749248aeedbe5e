#pragma once

// Shared by the window's tests: a test main that keeps the real settings store and the stand-in
// installation inside a temporary folder.

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Like QTEST_MAIN, but first points the per-user settings store (XDG_CONFIG_HOME) and the Norlix
// installation (NORLIX_HOME) into a temporary folder, before anything can read them.
#define PRISMOR_WINDOW_TEST_MAIN(TestClass)                                                        \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        QTemporaryDir sandbox;                                                                     \
        if (!sandbox.isValid())                                                                    \
            return 1;                                                                              \
        QDir(sandbox.path()).mkpath(QStringLiteral("config"));                                     \
        QDir(sandbox.path()).mkpath(QStringLiteral("norlix"));                                     \
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(sandbox.filePath(QStringLiteral("config")))); \
        qputenv("NORLIX_HOME", QFile::encodeName(sandbox.filePath(QStringLiteral("norlix"))));     \
        QApplication application(argc, argv);                                                      \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
