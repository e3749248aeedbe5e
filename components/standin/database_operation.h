#pragma once

#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <type_traits>

namespace Norlix {

class SqliteConnection;

// The database file that one operation works on, and how.
struct DatabaseAccess
{
    QString label; // names the file in messages, e.g. "The database of company A"
    QString path;
    std::chrono::milliseconds busyTimeout;
    QString missingMessage; // the failure when there is no file at path
};

// Runs one operation on the file at the path, on a connection of its own that is closed when the
// operation ends: between operations nothing of the installation stays open, so other programs
// may rename, replace, remove or compact the file at any time. A write that finds, once it holds
// the file, that the path names another file or that the file changed since this operation opened
// it (SqliteConnection::writeTransaction), starts the operation again on the file there now.
void runOperation(const DatabaseAccess &file, const std::function<void(SqliteConnection &)> &work);

// runOperation for work that gives back a result.
template <typename Work>
auto operate(const DatabaseAccess &file, Work &&work)
{
    using Result = std::invoke_result_t<Work &, SqliteConnection &>;
    if constexpr (std::is_void_v<Result>) {
        runOperation(file, work);
    } else {
        std::optional<Result> result;
        runOperation(file, [&](SqliteConnection &db) { result = work(db); });
        return std::move(*result);
    }
}

} // namespace Norlix
