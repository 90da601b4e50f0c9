// What the index and the journal do alike with an SQLite file that is
// damaged: tell damage from other failures, and set the file aside.
#pragma once

#include <QSqlError>
#include <QString>

namespace myzor {

// The database file is corrupt or not a database at all.
[[nodiscard]] bool IsDamage(const QSqlError& error);

// Renames `file`, and its write-ahead log and shared memory beside it, to
// "FILE.damaged-<date>-<time>" (with "-2", "-3", ... when that is taken), so
// that a new one can be made where it was; renamed, never deleted, since
// what it holds may still be worth a look. False when it could not be moved;
// `aside` gets the new name.
[[nodiscard]] bool SetAsideDamaged(const QString& file, QString& aside);

}  // namespace myzor
