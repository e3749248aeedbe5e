#pragma once

// Shared by the tests of windows: a test main that keeps the real settings store and the stand-in
// installation inside a temporary folder, and modal windows answered while they wait.

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

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

// Shows the window and waits until it is on screen; false when it never got there.
[[nodiscard]] inline bool showExposed(QWidget &window)
{
    window.show();
    return QTest::qWaitForWindowExposed(&window);
}

// Shows the window, makes it the active one and waits for that; false when it never became it.
[[nodiscard]] inline bool showActive(QWidget &window)
{
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

// The Norlix choice dialog while it is shown, or null.
inline QWidget *shownChoiceDialog()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("choiceDialog") && widget->isVisible())
            return widget;
    return nullptr;
}

// Runs show, which opens a modal window and waits for it, and hands that window to answer once
// it is shown; answer has to close it.
inline void whileModal(
    const std::function<void()> &show, const std::function<void(QWidget *)> &answer)
{
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&poll, &answer] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        poll.stop();
        answer(modal);
    });
    poll.start();
    show();
}
