#include "sqlite_file_layer.h"

#include <sqlite3.h>

#include <array>
#include <cstring>
#include <mutex>
#include <utility>

namespace Norlix {
namespace {

constexpr char layerName[] = "norlix-standin";

// Where SQLite's change counter and the other header fields that every write of its changes
// stand, which it reads at the start of each transaction.
constexpr sqlite3_int64 versionOffset = 24;
constexpr int versionSize = 16;
using Version = std::array<unsigned char, versionSize>;

// A database file: the system's file, and what is known of its size.
struct DatabaseFile
{
    sqlite3_file base; // first, so that SQLite's pointer is this one
    sqlite3_file *real;
    bool sizeKnown;
    sqlite3_int64 knownSize;
    Version knownSizeVersion;
    // Whether the version bytes were read since the file was last unlocked in full.
    bool versionRead;
    Version version;
    // Whether a write-ahead log is in use: its readers never read the version bytes again.
    bool usesLog;
    // Whether the log beside the file was found missing, and the version bytes read then.
    bool logAbsent;
    Version logAbsentVersion;
    // SQLite keeps the name it opened the file under until it closes it.
    const char *name;
};

// The file whose version bytes this thread read last, until SQLite next looks for a log. SQLite
// reads them and then at once looks for the database's log, in one call on one thread.
thread_local DatabaseFile *versionReader = nullptr;

// The system's own layer, which this one was made from.
sqlite3_vfs *systemLayer(sqlite3_vfs *layer)
{
    return static_cast<sqlite3_vfs *>(layer->pAppData);
}

DatabaseFile *database(sqlite3_file *file)
{
    return reinterpret_cast<DatabaseFile *>(file);
}

sqlite3_file *real(sqlite3_file *file)
{
    return database(file)->real;
}

int closeFile(sqlite3_file *file)
{
    DatabaseFile *db = database(file);
    if (versionReader == db)
        versionReader = nullptr;
    return db->real->pMethods->xClose(db->real);
}

int readFile(sqlite3_file *file, void *buffer, int amount, sqlite3_int64 offset)
{
    const int code = real(file)->pMethods->xRead(real(file), buffer, amount, offset);
    if (code == SQLITE_OK && offset == versionOffset && amount == versionSize) {
        DatabaseFile *db = database(file);
        std::memcpy(db->version.data(), buffer, versionSize);
        db->versionRead = true;
        versionReader = db;
    }
    return code;
}

// Whatever this process writes, the size is asked of the disk again afterwards. While it writes
// it holds a lock that keeps everyone else from turning the database to a log: a log missing
// before its write is missing with the version bytes it writes.
int writeFile(sqlite3_file *file, const void *buffer, int amount, sqlite3_int64 offset)
{
    DatabaseFile *db = database(file);
    db->sizeKnown = false;
    // A connection that uses a log writes the database only to copy the log back into it.
    const bool logMissingNow
        = db->versionRead && !db->usesLog && db->logAbsent && db->logAbsentVersion == db->version;
    if (logMissingNow && offset == 0 && amount >= versionOffset + versionSize)
        std::memcpy(db->logAbsentVersion.data(),
            static_cast<const unsigned char *>(buffer) + versionOffset, versionSize);
    return real(file)->pMethods->xWrite(real(file), buffer, amount, offset);
}

int truncateFile(sqlite3_file *file, sqlite3_int64 size)
{
    database(file)->sizeKnown = false;
    return real(file)->pMethods->xTruncate(real(file), size);
}

int syncFile(sqlite3_file *file, int flags)
{
    return real(file)->pMethods->xSync(real(file), flags);
}

int fileSize(sqlite3_file *file, sqlite3_int64 *size)
{
    DatabaseFile *db = database(file);
    if (db->sizeKnown && db->versionRead && !db->usesLog && db->version == db->knownSizeVersion) {
        *size = db->knownSize;
        return SQLITE_OK;
    }
    const int code = db->real->pMethods->xFileSize(db->real, size);
    // A size is kept only with the version read under the same lock, which vouches for it.
    db->sizeKnown = code == SQLITE_OK && db->versionRead;
    if (db->sizeKnown) {
        db->knownSize = *size;
        db->knownSizeVersion = db->version;
    }
    return code;
}

int lockFile(sqlite3_file *file, int level)
{
    return real(file)->pMethods->xLock(real(file), level);
}

// Without a lock, other processes may write: what was read vouches for nothing any more.
int unlockFile(sqlite3_file *file, int level)
{
    if (level == SQLITE_LOCK_NONE) {
        database(file)->versionRead = false;
        if (versionReader == database(file))
            versionReader = nullptr;
    }
    return real(file)->pMethods->xUnlock(real(file), level);
}

int checkReservedLock(sqlite3_file *file, int *reserved)
{
    return real(file)->pMethods->xCheckReservedLock(real(file), reserved);
}

int fileControl(sqlite3_file *file, int operation, void *argument)
{
    return real(file)->pMethods->xFileControl(real(file), operation, argument);
}

int sectorSize(sqlite3_file *file)
{
    return real(file)->pMethods->xSectorSize(real(file));
}

int deviceCharacteristics(sqlite3_file *file)
{
    return real(file)->pMethods->xDeviceCharacteristics(real(file));
}

int shmMap(sqlite3_file *file, int page, int pageSize, int extend, void volatile **memory)
{
    database(file)->usesLog = true;
    return real(file)->pMethods->xShmMap(real(file), page, pageSize, extend, memory);
}

int shmLock(sqlite3_file *file, int offset, int count, int flags)
{
    return real(file)->pMethods->xShmLock(real(file), offset, count, flags);
}

void shmBarrier(sqlite3_file *file)
{
    real(file)->pMethods->xShmBarrier(real(file));
}

int shmUnmap(sqlite3_file *file, int deleteFlag)
{
    return real(file)->pMethods->xShmUnmap(real(file), deleteFlag);
}

int fetch(sqlite3_file *file, sqlite3_int64 offset, int amount, void **pointer)
{
    return real(file)->pMethods->xFetch(real(file), offset, amount, pointer);
}

int unfetch(sqlite3_file *file, sqlite3_int64 offset, void *pointer)
{
    return real(file)->pMethods->xUnfetch(real(file), offset, pointer);
}

const sqlite3_io_methods databaseMethods = { 3, closeFile, readFile, writeFile, truncateFile,
    syncFile, fileSize, lockFile, unlockFile, checkReservedLock, fileControl, sectorSize,
    deviceCharacteristics, shmMap, shmLock, shmBarrier, shmUnmap, fetch, unfetch };

bool isLogOf(const DatabaseFile *db, const char *name)
{
    if (!db->name || !name)
        return false;
    const std::size_t length = std::strlen(db->name);
    return std::strncmp(name, db->name, length) == 0 && std::strcmp(name + length, "-wal") == 0;
}

// Journals and logs are the system's files as they are; a database is wrapped.
int openFile(sqlite3_vfs *layer, const char *name, sqlite3_file *file, int flags, int *flagsOut)
{
    sqlite3_vfs *system = systemLayer(layer);
    if ((flags & SQLITE_OPEN_MAIN_DB) == 0)
        return system->xOpen(system, name, file, flags, flagsOut);
    DatabaseFile *db = database(file);
    db->base.pMethods = nullptr;
    db->real = reinterpret_cast<sqlite3_file *>(db + 1);
    db->sizeKnown = false;
    db->versionRead = false;
    db->usesLog = false;
    db->logAbsent = false;
    db->name = name;
    const int code = system->xOpen(system, name, db->real, flags, flagsOut);
    // SQLite closes a file whose methods are set, even when the open failed.
    if (db->real->pMethods)
        db->base.pMethods = &databaseMethods;
    return code;
}

int access(sqlite3_vfs *layer, const char *name, int flags, int *result)
{
    DatabaseFile *db = std::exchange(versionReader, nullptr);
    const bool logOfReader = flags == SQLITE_ACCESS_EXISTS && db && isLogOf(db, name);
    if (logOfReader && db->logAbsent && db->logAbsentVersion == db->version) {
        *result = 0;
        return SQLITE_OK;
    }
    sqlite3_vfs *system = systemLayer(layer);
    const int code = system->xAccess(system, name, flags, result);
    if (logOfReader) {
        db->logAbsent = code == SQLITE_OK && *result == 0;
        db->logAbsentVersion = db->version;
    }
    return code;
}

int deleteFile(sqlite3_vfs *layer, const char *name, int syncFolder)
{
    sqlite3_vfs *system = systemLayer(layer);
    return system->xDelete(system, name, syncFolder);
}

int fullPathname(sqlite3_vfs *layer, const char *name, int size, char *out)
{
    sqlite3_vfs *system = systemLayer(layer);
    return system->xFullPathname(system, name, size, out);
}

sqlite3_vfs makeLayer()
{
    sqlite3_vfs *system = sqlite3_vfs_find(nullptr);
    sqlite3_vfs layer = *system;
    layer.pNext = nullptr;
    layer.zName = layerName;
    layer.pAppData = system;
    layer.szOsFile = int(sizeof(DatabaseFile)) + system->szOsFile;
    layer.xOpen = openFile;
    layer.xAccess = access;
    layer.xDelete = deleteFile;
    layer.xFullPathname = fullPathname;
    return layer;
}

} // namespace

const char *sqliteFileLayer()
{
    static sqlite3_vfs layer = makeLayer();
    static std::once_flag registered;
    std::call_once(registered, [] { sqlite3_vfs_register(&layer, 0); });
    return layerName;
}

} // namespace Norlix
