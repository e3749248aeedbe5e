#pragma once

namespace Norlix {

// The name of the SQLite file layer that the stand-in opens its files through: the system's own,
// less two looks at the disk that every transaction would otherwise make, each a round trip to
// the server on a shared network folder.
//
// - The size of a database file is asked of the disk only when the file has changed since the
//   size was last asked. The 16 bytes at offset 24 of the file, which SQLite reads at the start
//   of every transaction, change with every write that SQLite makes; while they read as they did,
//   the pages that SQLite keeps from before are trusted, and so is the size they came with.
// - The write-ahead log beside a database is looked for again only when those bytes changed
//   since it was last found missing. A log comes to be only after the write that turns the
//   database to one, which changes them; while they read as they did, no log has come since.
const char *sqliteFileLayer();

} // namespace Norlix
