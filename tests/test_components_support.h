#pragma once

// Shared by the tests of the stand-in Norlix installation.

#include <component_error.h>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTest>

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

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

[[nodiscard]] inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(bytes) == bytes.size();
}

// Runs sql in a writer that then ends inside its transaction, as a crash or kill -9 would. The
// transaction first writes more than the writer's small cache holds, so that changed pages reach
// the file and a hot journal stays beside it. Gives back whether that happened.
inline bool crashWhileWriting(const QString &path, const QString &sql)
{
    const QByteArray before = fileBytes(path);
    const QByteArray statements
        = "PRAGMA cache_size = 4; BEGIN IMMEDIATE; "
          "CREATE TABLE filler (x); "
          "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
          "WHERE i < 2000) INSERT INTO filler SELECT randomblob(600) FROM n; "
        + sql.toUtf8();
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
}
