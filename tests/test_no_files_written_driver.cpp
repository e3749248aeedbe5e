// Drives the unmodified Prismor executable from inside, as a Qt plugin that Qt loads at start-up
// when QT_QPA_GENERIC_PLUGINS names it: once the window is shown it types the letter given in
// PRISMOR_DRIVE_LETTER, presses Start, prints the report between marker lines and presses Exit,
// all through the window's own controls. Anything it cannot find ends Prismor with status 99.

#include <QAbstractButton>
#include <QApplication>
#include <QGenericPlugin>
#include <QLabel>
#include <QLineEdit>
#include <QTextStream>
#include <QTimer>
#include <QWidget>

namespace {

QWidget *shownMainWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (qstrcmp(widget->metaObject()->className(), "Main") == 0 && widget->isVisible())
            return widget;
    return nullptr;
}

void giveUp(const char *reason)
{
    QTextStream(stderr) << "prismor driver: " << reason << "\n";
    QCoreApplication::exit(99);
}

void driveOneCheck()
{
    QWidget *window = shownMainWindow();
    auto *letter = window ? window->findChild<QLineEdit *>(QStringLiteral("txtLetter")) : nullptr;
    auto *start = window ? window->findChild<QAbstractButton *>("cmdStart") : nullptr;
    auto *exit = window ? window->findChild<QAbstractButton *>(QStringLiteral("cmdExit")) : nullptr;
    auto *results = window ? window->findChild<QLabel *>(QStringLiteral("lblResults")) : nullptr;
    if (!letter || !start || !exit || !results)
        return giveUp("the window Main with its controls was not found");

    letter->setText(qEnvironmentVariable("PRISMOR_DRIVE_LETTER", QStringLiteral("A")));
    start->click();
    QTextStream(stdout) << "--- report ---\n" << results->text() << "\n--- end of report ---\n";
    exit->click();
}

class DriverPlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(
        IID QGenericPluginFactoryInterface_iid FILE "test_no_files_written_driver.json")

public:
    QObject *create(const QString &, const QString &) override
    {
        // Qt owns and deletes what create() gives back, so it has no parent. The drive runs once
        // the event loop turns, that is after main() has shown the window.
        auto *driver = new QObject;
        QTimer::singleShot(0, driver, &driveOneCheck);
        return driver;
    }
};

} // namespace

#include "test_no_files_written_driver.moc"
