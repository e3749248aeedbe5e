#pragma once

// The fixture that every test program shares: the system's own texts, the report as the window
// writes it, the workstation name setting, the norlix command, files and databases on disk, and
// snapshots of folders taken before and after a run.

#include <component_error.h>

#include <QByteArray>
#include <QDateTime>
#include <QFileDevice>
#include <QList>
#include <QMap>
#include <QSignalSpy>
#include <QString>
#include <QStringList>
#include <QTest>

// The texts that the window, its message boxes and the CAUTION dialog show.
namespace Texts {

inline const QString instructions = QStringLiteral(
    "Program to check Norlix Database version.\r\n"
    "This does not affect or change any data so it is safe to use at any time.\r\n\r\n"
    "First select which company letter you wish to check.");
inline const QString letterNotValid
    = QStringLiteral("Company letter not valid. Must be A or B or C, etc");
inline const QString lockMessage = QStringLiteral(
    "Cannot lock the accounts. If another person is using Norlix, ask them to Exit and then you "
    "can RETRY. Otherwise EXIT. If you are certain the accounts should not be locked, click "
    "UNLOCK.");
inline const QString notYetSet = QStringLiteral(" ** not yet set (by Norlix when it starts up) **");
inline const QString lockSucceeded
    = QStringLiteral("Success -- accounts could be locked by this Workstation");

} // namespace Texts

// The report as the window writes it: each line closed by CR LF.
[[nodiscard]] QString report(const QStringList &lines);

// The statuses that Main::ended was emitted with, in order.
[[nodiscard]] QList<int> statuses(const QSignalSpy &ended);

// This user's Norlix workstation name setting; a null value removes it.
void setWorkstationSetting(const QString &value);
[[nodiscard]] QString workstationSetting();

// One run of the norlix command with this process's environment (NORLIX_HOME, XDG_CONFIG_HOME).
struct NorlixRun
{
    int exitCode = -1; // -1: it did not finish
    QString out;
    QString err;
};
// How a test starts a command whose printed lines it reads: on Windows they end in CR LF, read
// as LF.
#ifdef Q_OS_WIN
inline constexpr QIODevice::OpenMode commandOutput = QIODevice::ReadWrite | QIODevice::Text;
#else
inline constexpr QIODevice::OpenMode commandOutput = QIODevice::ReadWrite;
#endif

[[nodiscard]] NorlixRun runNorlixCommand(const QString &command, const QStringList &arguments);

// What runNorlix gives back when the command failed, so that a comparison with it shows that.
inline const QString norlixFailed = QStringLiteral("<norlix failed>");
// What the norlix command printed, trimmed, or norlixFailed.
[[nodiscard]] QString runNorlix(const QString &command, const QStringList &arguments);

[[nodiscard]] QByteArray fileBytes(const QString &path);
bool writeFileBytes(const QString &path, const QByteArray &bytes);

// Runs sql in a writer that then ends inside its transaction, as a crash or kill -9 would. The
// transaction first writes more than the writer's small cache holds, so that changed pages reach
// the file and a hot journal stays beside it. Gives back whether that happened.
bool crashWhileWriting(const QString &path, const QString &sql);

#ifdef Q_OS_WIN
// Windows' counterpart of a file without read permission: the file held open by a program that
// shares it with no one. Until this ends, every other open of it fails.
class ExclusiveOpen
{
public:
    explicit ExclusiveOpen(const QString &path);
    ~ExclusiveOpen();
    ExclusiveOpen(const ExclusiveOpen &) = delete;
    ExclusiveOpen &operator=(const ExclusiveOpen &) = delete;
    [[nodiscard]] bool isOpen() const;

private:
    void *m_handle;
};

// What rename() does elsewhere: puts from in to's place, replacing the file there.
bool renameOver(const QString &from, const QString &to);
#endif

// Runs the call and gives back the description of the ComponentError it raised; fails the
// test when it raised none.
#define NORLIX_EXPECT_ERROR(call, description)                                                     \
    do {                                                                                           \
        bool raised_ = false;                                                                      \
        try {                                                                                      \
            (void)(call);                                                                          \
        } catch (const Norlix::ComponentError &error_) {                                           \
            raised_ = true;                                                                        \
            (description) = error_.description();                                                  \
        }                                                                                          \
        QVERIFY2(raised_, "expected a ComponentError: " #call);                                    \
    } while (false)

// Snapshots of folders on disk, taken before and after a run of the utility, show which files
// the run created, removed or changed; the stored contents of a stand-in database show that a
// file the stand-in rewrote still holds the same values.
struct EntryState
{
    enum class Kind { File, Folder, Link, Other };

    Kind kind = Kind::Other;
    QFileDevice::Permissions permissions;
    qint64 size = 0; // files only
    QDateTime modified; // files only: a folder's time moves with every file made and
                        // removed inside it, temporary ones included
    QByteArray sha256; // files only
    QString linkTarget; // links only

    friend bool operator==(const EntryState &, const EntryState &) = default;
};

// Every entry under root, by its path relative to root; the root itself is "."; an absent root
// gives an empty snapshot.
using FolderSnapshot = QMap<QString, EntryState>;

[[nodiscard]] FolderSnapshot snapshotFolder(const QString &root);

// One line for each entry that was added, removed or changed between the two snapshots, naming
// the entry and what changed about it; empty when nothing did.
[[nodiscard]] QStringList snapshotDifferences(
    const FolderSnapshot &before, const FolderSnapshot &after);

// The stored rows of every table of an SQLite database, in a fixed order, read without writing;
// a null text when the file cannot be read as a database.
[[nodiscard]] QString databaseContents(const QString &path);

#ifdef Q_OS_WIN
#include <objbase.h>

// Like QTEST_GUILESS_MAIN, inside a single-threaded COM apartment of the test's own, as Qt's
// Windows platform would make one: the installed components are reached through COM there, and
// no platform plugin initialises it in a test without a GUI.
#define PRISMOR_COM_TEST_MAIN(TestClass)                                                           \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))                             \
            return 1;                                                                              \
        int status = 0;                                                                            \
        {                                                                                          \
            QCoreApplication application(argc, argv);                                              \
            TestClass test;                                                                        \
            status = QTest::qExec(&test, argc, argv);                                              \
        }                                                                                          \
        CoUninitialize();                                                                          \
        return status;                                                                             \
    }
#endif
