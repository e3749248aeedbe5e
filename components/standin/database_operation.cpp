#include "database_operation.h"

#include "sqlite_connection.h"

#include <component_error.h>

namespace Norlix {
namespace {

ComponentError keptBeingReplaced(const DatabaseAccess &file)
{
    return ComponentError(QStringLiteral("%1 at %2 was replaced or changed again and again while "
                                         "it was being used; try again later.")
                              .arg(file.label, file.path),
        nothingChanged);
}

} // namespace

void runOperation(const DatabaseAccess &file, const std::function<void(SqliteConnection &)> &work)
{
    std::optional<std::chrono::steady_clock::time_point> deadline;
    for (int attempt = 1;; ++attempt) {
        SqliteConnection db(file.label, file.path, SqliteConnection::Mode::Existing,
            file.busyTimeout, file.missingMessage);
        try {
            work(db);
            return;
        } catch (const FileReplaced &) {
            // Starts again at least replacedAttempts times, and for as long as the busy timeout
            // since the first time: other writers committing while it waits change the file too.
            const auto now = std::chrono::steady_clock::now();
            if (!deadline)
                deadline = now + file.busyTimeout;
            if (attempt >= replacedAttempts && now >= *deadline)
                throw keptBeingReplaced(file);
        }
    }
}

} // namespace Norlix
