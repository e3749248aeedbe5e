#include "sqlite_connection.h"

#include "../component_error.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <sqlite3.h>

#include <thread>

namespace Norlix {
namespace {

int openFlags(SqliteConnection::Mode mode)
{
    switch (mode) {
    case SqliteConnection::Mode::ReadOnly:
        return SQLITE_OPEN_READONLY;
    case SqliteConnection::Mode::ReadWrite:
        return SQLITE_OPEN_READWRITE;
    case SqliteConnection::Mode::Create:
        break;
    }
    return SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
}

QString seconds(std::chrono::milliseconds duration)
{
    return QString::number(double(duration.count()) / 1000.0, 'g', 3);
}

} // namespace

SqliteConnection::SqliteConnection(
    QString label, QString path, Mode mode, std::chrono::milliseconds busyTimeout)
    : m_label(std::move(label))
    , m_path(std::move(path))
    , m_busyTimeout(busyTimeout)
{
    const QFileInfo info(m_path);
    if (mode != Mode::Create && !info.exists())
        throw ComponentError(QStringLiteral("%1 was not found at %2.").arg(m_label, m_path));
    if (info.exists() && !info.isFile())
        throw ComponentError(
            QStringLiteral("%1 at %2 is not a file (a folder stands in its place).")
                .arg(m_label, m_path));
    const int flags = openFlags(mode) | SQLITE_OPEN_NOMUTEX;
    const int code = sqlite3_open_v2(m_path.toUtf8().constData(), &m_db, flags, nullptr);
    if (code != SQLITE_OK) {
        // The destructor does not run for a constructor that throws.
        const ComponentError error = failure(code);
        sqlite3_close_v2(m_db);
        throw error;
    }
    sqlite3_busy_handler(m_db, &SqliteConnection::waitWhileBusy, this);
    sqlite3_extended_result_codes(m_db, 1);
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

// SQLite's own busy timeout sleeps up to 100 ms between tries, so a request can lose every
// race to others that hold the file only for moments. Trying again after a millisecond or two
// gives every waiting workstation its fair chance within the timeout.
int SqliteConnection::waitWhileBusy(void *connection, int attempt)
{
    auto *self = static_cast<SqliteConnection *>(connection);
    const auto now = std::chrono::steady_clock::now();
    if (attempt == 0)
        self->m_busySince = now;
    if (now - self->m_busySince >= self->m_busyTimeout)
        return 0;
    std::this_thread::sleep_for(
        std::chrono::microseconds(QRandomGenerator::global()->bounded(500, 2000)));
    return 1;
}

int SqliteConnection::changes() const
{
    return sqlite3_changes(m_db);
}

void SqliteConnection::fail(int code) const
{
    throw failure(code);
}

ComponentError SqliteConnection::failure(int code) const
{
    const QString detail
        = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString::fromUtf8(sqlite3_errstr(code));
    QString description;
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        description = QStringLiteral("%1 at %2 stayed busy for more than %3 seconds; try again "
                                     "later.")
                          .arg(m_label, m_path, seconds(m_busyTimeout));
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
        description
            = QStringLiteral("%1 at %2 could not be written (%3).").arg(m_label, m_path, detail);
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
    return ComponentError(description);
}

SqliteStatement::SqliteStatement(SqliteConnection &connection, const char *sql)
    : m_connection(connection)
{
    const int code = sqlite3_prepare_v2(connection.handle(), sql, -1, &m_statement, nullptr);
    if (code != SQLITE_OK)
        connection.fail(code);
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

SqliteTransaction::SqliteTransaction(SqliteConnection &connection)
    : m_connection(connection)
{
    m_connection.execute("BEGIN IMMEDIATE");
}

SqliteTransaction::~SqliteTransaction()
{
    if (m_open)
        sqlite3_exec(m_connection.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqliteTransaction::commit()
{
    m_connection.execute("COMMIT");
    m_open = false;
}

} // namespace Norlix
