#pragma once

// Owning handles for what SQLite hands out.

#include <sqlite3.h>

#include <memory>

namespace SQLiteHandles {

struct DatabaseClose {
    // The _v2 close waits for statements still open instead of leaving the database open.
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalize {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

using DatabasePtr = std::unique_ptr<sqlite3, DatabaseClose>;
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementFinalize>;

} // namespace SQLiteHandles
