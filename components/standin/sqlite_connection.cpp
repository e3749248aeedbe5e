#include "sqlite_connection.h"

#include <component_error.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <sqlite3.h>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <thread>

namespace Norlix {
namespace {

using Effect = ComponentError::Effect;

int openFlags(SqliteConnection::Mode mode)
{
    const int readWrite = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
    return mode == SqliteConnection::Mode::Create ? readWrite | SQLITE_OPEN_CREATE : readWrite;
}

QString seconds(std::chrono::milliseconds duration)
{
    return QString::number(double(duration.count()) / 1000.0, 'g', 3);
}

// What stands at path instead of a regular file; empty for a regular file or nothing at all.
QString whatStandsAt(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || S_ISREG(info.st_mode))
        return {};
    if (S_ISDIR(info.st_mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(info.st_mode))
        return QStringLiteral("a named pipe (FIFO)");
    if (S_ISCHR(info.st_mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(info.st_mode))
        return QStringLiteral("a block device");
    if (S_ISSOCK(info.st_mode))
        return QStringLiteral("a socket");
    return QStringLiteral("something other than a file");
#else
    const QFileInfo info(path);
    if (!info.exists() || info.isFile())
        return {};
    return info.isDir() ? QStringLiteral("a folder")
                        : QStringLiteral("something other than a file");
#endif
}

#ifdef Q_OS_UNIX
qint64 nanoseconds(const timespec &time)
{
    return qint64(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}
#endif

// Puts a file in place only where there is none, even when another process makes one meanwhile.
bool placeWithoutReplacing(const QString &from, const QString &to)
{
#ifdef Q_OS_UNIX
    return ::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#else
    return QFile::rename(from, to);
#endif
}

} // namespace

PathState stateAt(const QString &path)
{
    PathState state;
#ifdef Q_OS_UNIX
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return state;
    state.found = true;
    state.regular = S_ISREG(info.st_mode);
    state.identity = { quint64(info.st_dev), quint64(info.st_ino) };
    state.size = info.st_size;
    state.modifiedNs = nanoseconds(info.st_mtim);
    state.statusChangedNs = nanoseconds(info.st_ctim);
#else
    const QFileInfo info(path);
    if (!info.exists())
        return state;
    state.found = true;
    state.regular = info.isFile();
    state.size = info.size();
    state.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1'000'000;
    state.statusChangedNs = info.metadataChangeTime().toMSecsSinceEpoch() * 1'000'000;
#endif
    return state;
}

QStringList companionsOf(const QString &path)
{
    return { path + QStringLiteral("-journal"), path + QStringLiteral("-wal"),
        path + QStringLiteral("-shm") };
}

bool createDatabase(const QString &label, const QString &path,
    const std::function<void(SqliteConnection &)> &fill, std::chrono::milliseconds busyTimeout)
{
    requireNoLeftoverCompanions(label, path);
    const QString spare = path + QStringLiteral(".new-")
        + QString::number(QRandomGenerator::global()->generate64(), 16);
    try {
        SqliteConnection db(label, spare, SqliteConnection::Mode::Create, busyTimeout);
        db.writeTransaction([&] { fill(db); });
    } catch (const ComponentError &error) {
        QFile::remove(spare);
        throw ComponentError(error.description()); // a file may have been left behind
    } catch (const FileReplaced &) {
        QFile::remove(spare);
        throw ComponentError(
            QStringLiteral("%1 could not be made: its spare file %2 was replaced while it was "
                           "being written.")
                .arg(label, spare));
    }
    const bool placed = placeWithoutReplacing(spare, path);
    QFile::remove(spare);
    if (!placed && !QFileInfo::exists(path))
        throw ComponentError(
            QStringLiteral("%1 could not be put in place at %2.").arg(label, path));
    return placed;
}

void requireOnlyFiles(const QString &label, const QString &path)
{
    if (const QString other = whatStandsAt(path); !other.isEmpty())
        throw ComponentError(QStringLiteral("%1 at %2 is not a file (%3 stands in its place).")
                                 .arg(label, path, other),
            nothingChanged);
    requireOnlyFileCompanions(label, path);
}

namespace {

// Why the file cannot be used while something other than a file stands at a journal's place;
// empty when nothing does.
QString companionRefusal(const QString &label, const QString &path)
{
    for (const QString &companion : companionsOf(path)) {
        if (const QString other = whatStandsAt(companion); !other.isEmpty())
            return QStringLiteral("%1 at %2 cannot be used: %3 stands at %4, where SQLite keeps "
                                  "the file's journal.")
                .arg(label, path, other, companion);
    }
    return {};
}

} // namespace

void requireOnlyFileCompanions(const QString &label, const QString &path)
{
    if (const QString refusal = companionRefusal(label, path); !refusal.isEmpty())
        throw ComponentError(refusal, nothingChanged);
}

void requireNoLeftoverCompanions(const QString &label, const QString &path)
{
    for (const QString &companion : companionsOf(path)) {
        if (QFileInfo::exists(companion) || QFileInfo(companion).isSymLink())
            throw ComponentError(QStringLiteral("%1 cannot be made at %2: %3 lies there, left over "
                                                "from an earlier database at that place, and a new "
                                                "database would take it for its own journal. Move "
                                                "it away or remove it first.")
                                     .arg(label, path, companion),
                nothingChanged);
    }
}

SqliteConnection::SqliteConnection(QString label, QString path, Mode mode,
    std::chrono::milliseconds busyTimeout, const QString &missingMessage)
    : m_label(std::move(label))
    , m_path(std::move(path))
    , m_busyTimeout(busyTimeout)
{
    for (int attempt = 1;; ++attempt) {
        const PathState before = stateAt(m_path);
        if (!before.found && mode != Mode::Create)
            throw ComponentError(missingMessage.isEmpty()
                    ? QStringLiteral("%1 was not found at %2.").arg(m_label, m_path)
                    : missingMessage,
                nothingChanged);
        if (before.found && !before.regular)
            requireOnlyFiles(m_label, m_path); // names what stands there
        requireOnlyFileCompanions(m_label, m_path);
        open(openFlags(mode), before);
        // SQLite compares the file it holds open with the one the path names now. A file renamed
        // over the path between the look above and the open leaves m_opened naming the file
        // before it, so that a write on this connection starts again (writeTransaction).
        int moved = 0;
        if (sqlite3_file_control(m_db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) != SQLITE_OK)
            moved = 0; // a file layer that cannot tell; its files cannot be renamed while open
        if (!moved)
            break;
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        if (attempt == replacedAttempts)
            throw ComponentError(QStringLiteral("%1 at %2 was replaced again and again while it "
                                                "was being opened; try again later.")
                                     .arg(m_label, m_path),
                mode == Mode::Create ? Effect::Unknown : Effect::Unchanged);
    }
    sqlite3_busy_handler(m_db, &SqliteConnection::waitWhileBusy, this);
    sqlite3_extended_result_codes(m_db, 1);
}

void SqliteConnection::open(int flags, const PathState &before)
{
    const int code = sqlite3_open_v2(m_path.toUtf8().constData(), &m_db, flags, nullptr);
    if (code != SQLITE_OK) {
        // The destructor does not run for a constructor that throws. Creating may have left a
        // file behind.
        const ComponentError error = failure(code);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        throw (flags & SQLITE_OPEN_CREATE) ? ComponentError(error.description()) : error;
    }
    m_opened = before.found ? before : stateAt(m_path); // a file made by this open
}

SqliteConnection::~SqliteConnection()
{
    sqlite3_close_v2(m_db);
}

void SqliteConnection::execute(const char *sql)
{
    char *message = nullptr;
    const int code = sqlite3_exec(m_db, sql, nullptr, nullptr, &message);
    sqlite3_free(message);
    if (code != SQLITE_OK)
        fail(code);
}

void SqliteConnection::writeTransaction(const std::function<void()> &work)
{
    execute("BEGIN EXCLUSIVE");
    try {
        // A file renamed over the path since this connection opened it would take none of what
        // is written here: the write goes to the file that the path names. A file copied over
        // in place meanwhile, or changed by anything at all, may differ from what this
        // connection read of it before it held the file, in a way SQLite cannot tell when the
        // copy carries the same change counter: the operation starts again on a connection that
        // has read nothing yet.
        if (!stateAt(m_path).unchangedSince(m_opened))
            throw FileReplaced();
        work();
        execute("COMMIT");
    } catch (const ComponentError &error) {
        // A COMMIT that failed past its commit point leaves no transaction, and then no one can
        // say what was written.
        const bool rolledBack = rollBack();
        throw ComponentError(error.description(),
            rolledBack && error.changedNothing() ? Effect::Unchanged : Effect::Unknown);
    } catch (...) {
        (void)rollBack();
        throw;
    }
}

bool SqliteConnection::rollBack()
{
    return sqlite3_get_autocommit(m_db) == 0
        && sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr) == SQLITE_OK;
}

void SqliteConnection::attach(const QString &path, const char *schema)
{
    requireOnlyFiles(m_label, path);
    if (!QFileInfo::exists(path))
        throw ComponentError(
            QStringLiteral("%1 was not found at %2.").arg(m_label, path), nothingChanged);
    SqliteStatement(*this, QStringLiteral("ATTACH DATABASE ?1 AS %1").arg(QLatin1String(schema)))
        .bind(1, path)
        .run();
}

// SQLite's own busy timeout sleeps up to 100 ms between tries, so a request can lose every
// race to others that hold the file only for moments. Trying again after a millisecond or two
// gives every waiting workstation its fair chance within the timeout.
int SqliteConnection::waitWhileBusy(void *connection, int attempt)
{
    auto *self = static_cast<SqliteConnection *>(connection);
    const auto now = std::chrono::steady_clock::now();
    if (attempt == 0) {
        self->m_busySince = now;
        self->m_waitedOut = false;
    }
    if (now - self->m_busySince >= self->m_busyTimeout) {
        self->m_waitedOut = true;
        return 0;
    }
    std::this_thread::sleep_for(
        std::chrono::microseconds(QRandomGenerator::global()->bounded(500, 2000)));
    // Once it has the file, SQLite opens a journal it finds left behind; a pipe put there while
    // this waited would hold that open for ever.
    self->m_refusal = companionRefusal(self->m_label, self->m_path);
    return self->m_refusal.isEmpty() ? 1 : 0;
}

int SqliteConnection::changes() const
{
    return sqlite3_changes(m_db);
}

void SqliteConnection::fail(int code) const
{
    throw failure(code);
}

// A failed statement changes nothing by itself; inside a write transaction, writeTransaction
// decides whether the whole request did.
ComponentError SqliteConnection::failure(int code) const
{
    const QString detail
        = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString::fromUtf8(sqlite3_errstr(code));
    QString description;
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        // SQLite gives some requests up at once, without waiting: a change of journal mode while
        // another program has the file open, or one that would wait on a waiting writer.
        if (!m_refusal.isEmpty())
            description = m_refusal;
        else if (m_waitedOut)
            description = QStringLiteral("%1 at %2 stayed busy for more than %3 seconds; try "
                                         "again later.")
                              .arg(m_label, m_path, seconds(m_busyTimeout));
        else
            description = QStringLiteral("%1 at %2 is in use by another program; try again "
                                         "later.")
                              .arg(m_label, m_path);
        break;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_FORMAT:
    case SQLITE_EMPTY:
        description = QStringLiteral("%1 at %2 is damaged (%3).").arg(m_label, m_path, detail);
        break;
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        description
            = QStringLiteral("%1 at %2 could not be opened (%3).").arg(m_label, m_path, detail);
        break;
    case SQLITE_READONLY:
        description = (m_db ? sqlite3_extended_errcode(m_db) : code) == SQLITE_READONLY_ROLLBACK
            ? QStringLiteral("%1 at %2 holds changes that a program stopped while writing; they "
                             "can be undone only where the file may be written (%3).")
                  .arg(m_label, m_path, detail)
            : QStringLiteral("%1 at %2 could not be written (%3).").arg(m_label, m_path, detail);
        break;
    case SQLITE_IOERR:
    case SQLITE_FULL:
        description = QStringLiteral("%1 at %2 could not be read or written (%3).")
                          .arg(m_label, m_path, detail);
        break;
    default:
        // Chiefly a missing table: the file is a database, but not one Norlix wrote.
        description = QStringLiteral("%1 at %2 is damaged or not a Norlix database (%3).")
                          .arg(m_label, m_path, detail);
        break;
    }
    return ComponentError(description, nothingChanged);
}

SqliteStatement::SqliteStatement(SqliteConnection &connection, const char *sql)
    : m_connection(connection)
{
    const int code = sqlite3_prepare_v2(connection.handle(), sql, -1, &m_statement, nullptr);
    if (code != SQLITE_OK)
        connection.fail(code);
}

SqliteStatement::SqliteStatement(SqliteConnection &connection, const QString &sql)
    : SqliteStatement(connection, sql.toUtf8().constData())
{
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_statement);
}

SqliteStatement &SqliteStatement::bind(int index, const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    const int code = sqlite3_bind_text(
        m_statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    if (code != SQLITE_OK)
        m_connection.fail(code);
    return *this;
}

SqliteStatement &SqliteStatement::bind(int index, qint64 value)
{
    const int code = sqlite3_bind_int64(m_statement, index, value);
    if (code != SQLITE_OK)
        m_connection.fail(code);
    return *this;
}

bool SqliteStatement::next()
{
    const int code = sqlite3_step(m_statement);
    if (code == SQLITE_ROW)
        return true;
    if (code == SQLITE_DONE)
        return false;
    m_connection.fail(code);
}

void SqliteStatement::run()
{
    while (next()) { }
}

QString SqliteStatement::text(int column) const
{
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    return QString::fromUtf8(bytes, sqlite3_column_bytes(m_statement, column));
}

qint64 SqliteStatement::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

bool SqliteStatement::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

} // namespace Norlix
