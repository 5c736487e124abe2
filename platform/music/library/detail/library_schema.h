// The library database's schema and its history. PRAGMA user_version holds the
// version a file is at; opening a file runs, in one transaction each, the migrations
// from its version up to kLibraryVersion. A file of a newer version is left alone.
#pragma once

#include <sqlite3.h>

namespace melodock::detail {

inline constexpr int kLibraryVersion = 6;

// The id of "Favourite Songs", made with the library, and the one it had before
// version 6.
inline constexpr const char* kFavouriteSongsID = "p.1";
inline constexpr const char* kFormerFavouriteSongsID = "l.1";

// Brings the library at `connection` to kLibraryVersion. Throws std::runtime_error for
// a newer file and DatabaseError when a migration fails (the file then stays at the
// last version that completed).
void migrateLibrary(sqlite3* connection);

}  // namespace melodock::detail
