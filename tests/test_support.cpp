#include "test_support.h"

#include <user_settings.h>

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <sqlite3.h>
#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

const QString settingsFile = QStringLiteral("Norlix6");
const QString settingsSection = QStringLiteral("ThisPC");
const QString workstationKey = QStringLiteral("WStnName");

} // namespace

QString report(const QStringList &lines)
{
    QString text;
    for (const QString &line : lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

QList<int> statuses(const QSignalSpy &ended)
{
    QList<int> result;
    for (const QList<QVariant> &arguments : ended)
        result << arguments.first().toInt();
    return result;
}

void setWorkstationSetting(const QString &value)
{
    if (value.isNull())
        Norlix::removeUserSetting(settingsFile, settingsSection, workstationKey);
    else
        Norlix::writeUserSetting(settingsFile, settingsSection, workstationKey, value);
}

QString workstationSetting()
{
    return Norlix::readUserSetting(settingsFile, settingsSection, workstationKey);
}

NorlixRun runNorlixCommand(const QString &command, const QStringList &arguments)
{
    QProcess process;
    process.start(command, arguments, commandOutput);
    NorlixRun run;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("norlix did not finish");
        return run;
    }
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QString runNorlix(const QString &command, const QStringList &arguments)
{
    const NorlixRun run = runNorlixCommand(command, arguments);
    if (run.exitCode != 0) {
        qWarning() << "norlix" << arguments << "failed:" << run.err;
        return norlixFailed;
    }
    return run.out.trimmed();
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(bytes) == bytes.size();
}

bool crashWhileWriting(const QString &path, const QString &sql)
{
    const QByteArray before = fileBytes(path);
    const QByteArray statements
        = "PRAGMA cache_size = 4; BEGIN IMMEDIATE; "
          "CREATE TABLE filler (x); "
          "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
          "WHERE i < 2000) INSERT INTO filler SELECT randomblob(600) FROM n; "
        + sql.toUtf8();
#ifdef Q_OS_WIN
    QProcess writer;
    writer.start(QStringLiteral(SQLITE_CHILD_EXECUTABLE),
        { QStringLiteral("crash"), path, QString::fromUtf8(statements) });
    return writer.waitForFinished(60000) && writer.exitStatus() == QProcess::NormalExit
        && writer.exitCode() == 0 && QFileInfo(path + QStringLiteral("-journal")).size() > 0
        && fileBytes(path) != before;
#else
    const pid_t writer = fork();
    if (writer == 0) {
        sqlite3 *db = nullptr;
        if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != 0
            || sqlite3_exec(db, statements.constData(), nullptr, nullptr, nullptr) != 0)
            _exit(1);
        _exit(0); // neither COMMIT nor ROLLBACK
    }
    int status = 0;
    return writer > 0 && waitpid(writer, &status, 0) == writer && WIFEXITED(status)
        && WEXITSTATUS(status) == 0 && QFileInfo(path + QStringLiteral("-journal")).size() > 0
        && fileBytes(path) != before;
#endif
}

#ifdef Q_OS_WIN
ExclusiveOpen::ExclusiveOpen(const QString &path)
    : m_handle(CreateFileW(reinterpret_cast<const wchar_t *>(
                               QDir::toNativeSeparators(path).utf16()),
          GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
{
}

ExclusiveOpen::~ExclusiveOpen()
{
    if (isOpen())
        CloseHandle(m_handle);
}

bool ExclusiveOpen::isOpen() const
{
    return m_handle != INVALID_HANDLE_VALUE;
}

bool renameOver(const QString &from, const QString &to)
{
    return MoveFileExW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(from).utf16()),
        reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(to).utf16()),
        MOVEFILE_REPLACE_EXISTING);
}
#endif

namespace {

EntryState stateOf(const QFileInfo &info)
{
    EntryState state;
    state.permissions = info.permissions();
    if (info.isSymLink()) {
        state.kind = EntryState::Kind::Link;
        state.linkTarget = info.symLinkTarget();
    } else if (info.isDir()) {
        state.kind = EntryState::Kind::Folder;
    } else if (info.isFile()) {
        state.kind = EntryState::Kind::File;
        state.size = info.size();
        state.modified = info.lastModified();
        QFile file(info.filePath());
        QCryptographicHash hash(QCryptographicHash::Sha256);
        // A file this process may not read still counts, by its size and time.
        if (file.open(QIODevice::ReadOnly) && hash.addData(&file))
            state.sha256 = hash.result();
    }
    return state;
}

QString kindName(EntryState::Kind kind)
{
    switch (kind) {
    case EntryState::Kind::File:
        return QStringLiteral("file");
    case EntryState::Kind::Folder:
        return QStringLiteral("folder");
    case EntryState::Kind::Link:
        return QStringLiteral("link");
    case EntryState::Kind::Other:
        break;
    }
    return QStringLiteral("other");
}

QString describeChange(const EntryState &before, const EntryState &after)
{
    QStringList changes;
    if (before.kind != after.kind)
        changes << kindName(before.kind) + QStringLiteral(" became ") + kindName(after.kind);
    if (before.permissions != after.permissions)
        changes << QStringLiteral("permissions %1 -> %2")
                       .arg(int(before.permissions), 0, 16)
                       .arg(int(after.permissions), 0, 16);
    if (before.size != after.size)
        changes << QStringLiteral("size %1 -> %2").arg(before.size).arg(after.size);
    if (before.modified != after.modified)
        changes << QStringLiteral("modified %1 -> %2")
                       .arg(before.modified.toString(Qt::ISODateWithMs),
                           after.modified.toString(Qt::ISODateWithMs));
    if (before.sha256 != after.sha256)
        changes << QStringLiteral("contents");
    if (before.linkTarget != after.linkTarget)
        changes << QStringLiteral("link target");
    return changes.join(QStringLiteral(", "));
}

QString columnText(sqlite3_stmt *statement, int column)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(statement, column))
                : QStringLiteral("NULL");
}

QStringList queryRows(sqlite3 *db, const QString &sql, bool &ok)
{
    QStringList rows;
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK) {
        ok = false;
        return rows;
    }
    int code = SQLITE_ROW;
    while ((code = sqlite3_step(statement)) == SQLITE_ROW) {
        QStringList values;
        for (int column = 0; column < sqlite3_column_count(statement); ++column)
            values << columnText(statement, column);
        rows << values.join(QLatin1Char('|'));
    }
    ok = ok && code == SQLITE_DONE;
    sqlite3_finalize(statement);
    return rows;
}

} // namespace

FolderSnapshot snapshotFolder(const QString &root)
{
    FolderSnapshot snapshot;
    const QFileInfo rootInfo(root);
    if (!rootInfo.exists() && !rootInfo.isSymLink())
        return snapshot;
    snapshot.insert(QStringLiteral("."), stateOf(rootInfo));
    const QDir rootFolder(root);
    QDirIterator entries(root,
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        entries.next();
        const QFileInfo info = entries.fileInfo();
        snapshot.insert(rootFolder.relativeFilePath(info.filePath()), stateOf(info));
    }
    return snapshot;
}

QStringList snapshotDifferences(const FolderSnapshot &before, const FolderSnapshot &after)
{
    QStringList differences;
    for (auto entry = before.cbegin(); entry != before.cend(); ++entry) {
        if (!after.contains(entry.key()))
            differences << QStringLiteral("removed: ") + entry.key();
        else if (!(after.value(entry.key()) == entry.value()))
            differences << QStringLiteral("changed: %1 (%2)")
                               .arg(entry.key(),
                                   describeChange(entry.value(), after.value(entry.key())));
    }
    for (auto entry = after.cbegin(); entry != after.cend(); ++entry)
        if (!before.contains(entry.key()))
            differences
                << QStringLiteral("added: %1 (%2)").arg(entry.key(), kindName(entry.value().kind));
    return differences;
}

QString databaseContents(const QString &path)
{
    sqlite3 *db = nullptr;
    const QByteArray uri
        = QByteArrayLiteral("file:") + QFile::encodeName(path) + QByteArrayLiteral("?mode=ro");
    if (sqlite3_open_v2(uri.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr)
        != SQLITE_OK) {
        sqlite3_close_v2(db);
        return QString();
    }
    bool ok = true;
    QStringList contents;
    const QStringList tables = queryRows(db,
        QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"), ok);
    for (const QString &table : tables) {
        QStringList rows = queryRows(db, QStringLiteral("SELECT * FROM \"%1\"").arg(table), ok);
        rows.sort();
        contents << QStringLiteral("[%1]").arg(table) << rows;
    }
    sqlite3_close_v2(db);
    return ok ? contents.join(QLatin1Char('\n')) : QString();
}
