// Another Norlix program at a database, where a test cannot fork itself (Windows): it holds a
// read transaction for a while, as a long report would, or ends inside a write transaction, as
// a crash would.
//
// usage: sqlite_child read PATH SECONDS   prints "held" once the read transaction holds the file
//        sqlite_child crash PATH SQL       runs SQL, then ends with status 0 without COMMIT
// Exit status: 0 done, 1 SQLite refused, 2 usage.

#include <QCoreApplication>
#include <QStringList>
#include <QThread>

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4 || (args[1] != u"read" && args[1] != u"crash")) {
        std::fputs("usage: sqlite_child read PATH SECONDS | crash PATH SQL\n", stderr);
        return 2;
    }
    const bool reading = args[1] == u"read";
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(args[2].toUtf8().constData(), &db,
            reading ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE, nullptr)
        != SQLITE_OK)
        return 1;
    if (reading) {
        if (sqlite3_exec(db, "BEGIN; SELECT count(*) FROM settings;", nullptr, nullptr, nullptr)
            != SQLITE_OK)
            return 1;
        std::fputs("held\n", stdout);
        std::fflush(stdout);
        QThread::sleep(args[3].toULong());
        std::_Exit(0);
    }
    if (sqlite3_exec(db, args[3].toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        return 1;
    std::_Exit(0); // neither COMMIT nor ROLLBACK
}
