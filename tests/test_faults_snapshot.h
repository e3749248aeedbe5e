#pragma once

// Snapshots of folders on disk, taken before and after a run of the utility, to show which files
// the run created, removed or changed; and the stored contents of a stand-in database, to show
// that a file the stand-in rewrote still holds the same values.

#include <QByteArray>
#include <QDateTime>
#include <QFileDevice>
#include <QMap>
#include <QString>
#include <QStringList>

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
