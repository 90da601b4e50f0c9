#include "library/replay_index.h"

#include "library/folder_scan.h"

#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <atomic>
#include <utility>

namespace myzor {
namespace {

// Raised whenever the tables change; an index of any other version is
// rebuilt, except the one before, which is upgraded (see openConnection).
constexpr int kSchemaVersion = 3;
// Kept only the replays table, without the players' teams.
constexpr int kRosterlessVersion = 1;
// Kept every row's names and races twice, in the replays table as well as
// in the players table; its rows are read as they are.
constexpr int kListsVersion = 2;

constexpr const char* kColumns =
    "path, size, mtime_ns, inode, game, map, players, teams, races, version, win_conditions, "
    "player_count, ok, error_kind, error_offset, error_message";

constexpr const char* kCreateTable =
    "CREATE TABLE replays (path BLOB PRIMARY KEY, size INTEGER NOT NULL, mtime_ns INTEGER NOT NULL, "
    "inode INTEGER NOT NULL, game TEXT, map TEXT, players BLOB, teams TEXT, races BLOB, version TEXT, "
    "win_conditions TEXT, player_count INTEGER, ok INTEGER NOT NULL, error_kind TEXT, "
    "error_offset INTEGER, error_message TEXT) WITHOUT ROWID";

// One row per player of a replay, in file order (seat).
constexpr const char* kCreatePlayers =
    "CREATE TABLE players (path BLOB NOT NULL, seat INTEGER NOT NULL, name TEXT, team INTEGER, race TEXT, "
    "block_start INTEGER, block_end INTEGER, PRIMARY KEY (path, seat)) WITHOUT ROWID";

// Names may hold any character, so lists are stored in Qt's own framing.
QByteArray packList(const QStringList& list) {
  QByteArray bytes;
  QDataStream stream(&bytes, QIODevice::WriteOnly);
  stream.setVersion(QDataStream::Qt_6_0);
  stream << list;
  return bytes;
}

QStringList unpackList(const QByteArray& bytes) {
  QStringList list;
  QDataStream stream(bytes);
  stream.setVersion(QDataStream::Qt_6_0);
  stream >> list;
  return list;
}

// SQLITE_CORRUPT and SQLITE_NOTADB, with or without their extended codes.
bool isDamage(const QSqlError& error) {
  const int code = error.nativeErrorCode().toInt() & 0xff;
  return code == 11 || code == 26;
}

QString describe(const QString& file, const QSqlError& error) {
  const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
  return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file), text);
}

}  // namespace

ReplayIndex::ReplayIndex(const QString& file, int busy_timeout_ms)
    : m_file(file), m_busy_timeout_ms(busy_timeout_ms) {
  if (m_file.isEmpty()) {
    stopUsing(QStringLiteral("there is no cache folder"));
    return;
  }
  const QFileInfo info(m_file);
  if (!QDir().mkpath(info.absolutePath())) {
    stopUsing(QStringLiteral("the folder %1 cannot be made").arg(QDir::toNativeSeparators(info.absolutePath())));
    return;
  }
  // Copies of the program open, set aside and close the index one at a time:
  // one of them must not take another's half-made or just-renamed file.
  QLockFile lock(m_file + QStringLiteral(".lock"));
  if (!lock.tryLock(m_busy_timeout_ms)) {
    stopUsing(lock.error() == QLockFile::LockFailedError
                  ? QStringLiteral("%1 is held by another copy of the program").arg(QDir::toNativeSeparators(m_file))
                  : QStringLiteral("the folder %1 cannot be written").arg(QDir::toNativeSeparators(info.absolutePath())));
    return;
  }
  // SQLite takes an empty file for an empty database, but this program never
  // leaves one behind (the table is made at once), unless its log holds it.
  const bool emptied = info.exists() && info.size() == 0 && !QFile::exists(m_file + QStringLiteral("-wal"));
  const Opened opened = emptied ? Opened::damaged : openConnection();
  if (opened == Opened::damaged)
    rebuild();
  else if (opened == Opened::failed)
    stopUsing(m_status);
}

// Called with the lock file held.
void ReplayIndex::rebuild() {
  m_used = false;
  closeConnection();
  QString aside;
  if (!setAside(aside)) {
    stopUsing(QStringLiteral("%1 is damaged and cannot be set aside").arg(QDir::toNativeSeparators(m_file)));
  } else if (openConnection() != Opened::ok) {
    stopUsing(m_status);
  } else {
    m_status = QStringLiteral("The replay index was damaged and has been rebuilt; the old file was kept as %1.")
                   .arg(QDir::toNativeSeparators(aside));
  }
}

// Damage found while reading or writing is mended at once, so that the next
// start does not meet it again; the rows of this call are read from the files.
void ReplayIndex::fail(const QSqlError& error) {
  QLockFile lock(m_file + QStringLiteral(".lock"));
  if (isDamage(error) && lock.tryLock(m_busy_timeout_ms))
    rebuild();
  else
    stopUsing(describe(m_file, error));
}

ReplayIndex::~ReplayIndex() {
  if (m_connection.isEmpty()) return;
  // The last connection to close folds the log into the database.
  QLockFile lock(m_file + QStringLiteral(".lock"));
  lock.tryLock(m_busy_timeout_ms);
  closeConnection();
}

QString ReplayIndex::defaultFile() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
  return folder.isEmpty() ? QString() : folder + QStringLiteral("/index.sqlite");
}

QString ReplayIndex::takeStatus() { return std::exchange(m_status, QString()); }

// On failure m_status holds what went wrong, for stopUsing.
ReplayIndex::Opened ReplayIndex::openConnection() {
  static std::atomic_int counter{0};
  m_connection = QStringLiteral("myzor-index-%1").arg(++counter);
  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
  db.setDatabaseName(m_file);
  db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(m_busy_timeout_ms));
  if (!db.open()) {
    m_status = describe(m_file, db.lastError());
    return isDamage(db.lastError()) ? Opened::damaged : Opened::failed;
  }
  QSqlQuery query(db);
  const auto run = [&](const char* sql) {
    if (query.exec(QString::fromLatin1(sql))) return true;
    m_status = describe(m_file, query.lastError());
    return false;
  };
  const auto failure = [&] { return isDamage(query.lastError()) ? Opened::damaged : Opened::failed; };

  if (!run("PRAGMA journal_mode=WAL")) return failure();
  if (!run("PRAGMA quick_check")) return failure();
  if (!query.next() || query.value(0).toString() != QLatin1String("ok")) {
    m_status = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_file), query.value(0).toString());
    return Opened::damaged;
  }
  if (!run("PRAGMA user_version") || !query.next()) return failure();
  if (query.value(0).toInt() == kSchemaVersion) {
    m_used = true;
    return Opened::ok;
  }

  // Made now, or by another version: build the table under a write lock, as
  // another copy may be doing the same.
  if (!run("BEGIN IMMEDIATE")) return failure();
  const auto rollback = [&](Opened result) {
    QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    return result;
  };
  if (!run("PRAGMA user_version") || !query.next()) return rollback(failure());
  const int version = query.value(0).toInt();
  if (version == kListsVersion) {
    if (!query.exec(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion))) return rollback(failure());
  } else if (version == kRosterlessVersion) {
    // Its rows stay: they lack only the players' teams, and the library reads
    // such files again in the background (ReplayRow::lacksRoster).
    if (!run(kCreatePlayers) || !query.exec(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion)))
      return rollback(failure());
  } else if (version != kSchemaVersion) {
    if (!run("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'"))
      return rollback(failure());
    QStringList tables;
    while (query.next()) tables.append(query.value(0).toString());
    // A database of ours always carries a version; one without is not ours.
    if (version == 0 && !tables.isEmpty()) return rollback(Opened::damaged);
    for (const QString& table : tables) {
      if (!query.exec(QStringLiteral("DROP TABLE \"%1\"").arg(table))) {
        m_status = describe(m_file, query.lastError());
        return rollback(failure());
      }
    }
    if (!run(kCreateTable) || !run(kCreatePlayers) ||
        !query.exec(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion)))
      return rollback(failure());
    if (version != 0) m_status = QStringLiteral("The replay index was made by another version and has been rebuilt.");
  }
  if (!run("COMMIT")) return rollback(failure());
  m_used = true;
  return Opened::ok;
}

void ReplayIndex::closeConnection() {
  if (m_connection.isEmpty()) return;
  {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    db.close();
  }
  QSqlDatabase::removeDatabase(m_connection);
  m_connection.clear();
}

// Renamed, never deleted: the file may be worth a look, and a rename of our
// own cache file is all that is needed to start afresh.
bool ReplayIndex::setAside(QString& aside) {
  const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
  aside = QStringLiteral("%1.damaged-%2").arg(m_file, stamp);
  for (int n = 2; QFile::exists(aside); ++n) aside = QStringLiteral("%1.damaged-%2-%3").arg(m_file, stamp).arg(n);
  if (QFile::exists(m_file) && !QFile::rename(m_file, aside)) return false;
  // A log left beside a new database would be replayed into it.
  for (const QString& suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")}) {
    if (QFile::exists(m_file + suffix) && !QFile::rename(m_file + suffix, aside + suffix) &&
        !QFile::remove(m_file + suffix))
      return false;
  }
  return true;
}

void ReplayIndex::stopUsing(const QString& why) {
  m_used = false;
  closeConnection();
  if (!std::exchange(m_stopped, true))
    m_status = QStringLiteral("The replay index could not be used: %1; replays are read from the files.").arg(why);
}

std::vector<ReplayRow> ReplayIndex::rowsUnder(const QByteArray& folder) {
  std::vector<ReplayRow> rows;
  if (!m_used) return rows;
  QByteArray low = folder;
  if (!low.endsWith('/')) low.append('/');
  QByteArray high = low;
  high.back() = '/' + 1;  // every path that starts with `low` sorts before it
  QSqlError error;
  {
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1 FROM replays WHERE path >= ? AND path < ? ORDER BY path")
                      .arg(QLatin1String(kColumns)));
    query.addBindValue(low);
    query.addBindValue(high);
    // Room for every row at once: a vector grown by doubling would hold
    // half again as much while it moves.
    QSqlQuery count(QSqlDatabase::database(m_connection, false));
    count.prepare(QStringLiteral("SELECT COUNT(*) FROM replays WHERE path >= ? AND path < ?"));
    count.addBindValue(low);
    count.addBindValue(high);
    if (count.exec() && count.next()) rows.reserve(static_cast<std::size_t>(count.value(0).toLongLong()));
    count.finish();
    query.exec();
    while (query.next()) {
      ReplayRow row;
      row.file.path = query.value(0).toByteArray();
      row.file.size = query.value(1).toLongLong();
      row.file.mtime_ns = query.value(2).toLongLong();
      row.file.inode = static_cast<std::uint64_t>(query.value(3).toLongLong());
      row.relative_path = RelativePath(folder, row.file.path);
      row.game = query.value(4).toString();
      row.map = query.value(5).toString();
      row.players = unpackList(query.value(6).toByteArray());
      row.teams = query.value(7).toString();
      row.races = unpackList(query.value(8).toByteArray());
      row.version = query.value(9).toString();
      row.win_conditions = query.value(10).toString();
      row.player_count = query.value(11).toInt();
      row.ok = query.value(12).toBool();
      row.error_kind = query.value(13).toString();
      if (!query.isNull(14)) row.error_offset = query.value(14).toLongLong();
      row.error_message = query.value(15).toString();
      ShareCommonText(row);
      rows.push_back(std::move(row));
    }
    error = query.lastError();
    // Both tables in order of path: each player joins the row at hand.
    QSqlQuery players(QSqlDatabase::database(m_connection, false));
    players.setForwardOnly(true);
    players.prepare(QStringLiteral("SELECT path, name, team, race, block_start, block_end FROM players "
                                   "WHERE path >= ? AND path < ? ORDER BY path, seat"));
    players.addBindValue(low);
    players.addBindValue(high);
    if (!error.isValid()) players.exec();
    std::size_t at = 0;
    while (!error.isValid() && players.next()) {
      const QByteArray path = players.value(0).toByteArray();
      while (at < rows.size() && rows[at].file.path < path) ++at;
      if (at == rows.size()) break;
      if (rows[at].file.path != path) continue;
      Roster& roster = rows[at].roster;
      if (roster.isEmpty()) roster.reserve(rows[at].player_count);
      RowPlayer player{players.value(1).toString(), players.value(3).toString(), players.value(2).toInt(),
                       players.value(4).toLongLong(), players.value(5).toLongLong()};
      ShareCommonText(player);
      roster.push_back(std::move(player));
    }
    if (!error.isValid()) error = players.lastError();
    for (ReplayRow& row : rows) {
      if (!row.players.isEmpty() || row.roster.isEmpty()) continue;
      row.players.reserve(row.roster.size());
      row.races.reserve(row.roster.size());
      for (const RowPlayer& player : row.roster) {
        row.players.append(player.name);
        row.races.append(player.race);
      }
    }
  }
  // Closing the connection needs every query on it gone.
  if (error.isValid()) {
    fail(error);
    rows.clear();
  }
  return rows;
}

bool ReplayIndex::store(const std::vector<ReplayRow>& rows) {
  return write([&rows](QSqlDatabase& db) {
    QSqlQuery insert(db);
    QSqlQuery unseat(db);
    QSqlQuery seat(db);
    if (!insert.prepare(QStringLiteral("INSERT OR REPLACE INTO replays (%1) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)")
                            .arg(QLatin1String(kColumns))))
      return insert.lastError();
    if (!unseat.prepare(QStringLiteral("DELETE FROM players WHERE path = ?"))) return unseat.lastError();
    if (!seat.prepare(QStringLiteral("INSERT INTO players (path, seat, name, team, race, block_start, block_end) "
                                     "VALUES (?,?,?,?,?,?,?)")))
      return seat.lastError();
    for (const ReplayRow& row : rows) {
      insert.addBindValue(row.file.path);
      insert.addBindValue(static_cast<qint64>(row.file.size));
      insert.addBindValue(static_cast<qint64>(row.file.mtime_ns));
      insert.addBindValue(static_cast<qint64>(row.file.inode));
      insert.addBindValue(row.game);
      insert.addBindValue(row.map);
      // Names and races in file order are the players table's, where it
      // holds every player.
      const bool listed = !row.roster.isEmpty() && row.roster.size() == row.players.size();
      const QVariant none(QMetaType::fromType<QByteArray>());
      insert.addBindValue(listed ? none : QVariant(packList(row.players)));
      insert.addBindValue(row.teams);
      insert.addBindValue(listed ? none : QVariant(packList(row.races)));
      insert.addBindValue(row.version);
      insert.addBindValue(row.win_conditions);
      insert.addBindValue(row.player_count);
      insert.addBindValue(row.ok);
      insert.addBindValue(row.error_kind);
      insert.addBindValue(row.error_offset ? QVariant(static_cast<qint64>(*row.error_offset)) : QVariant());
      insert.addBindValue(row.error_message);
      if (!insert.exec()) return insert.lastError();
      unseat.addBindValue(row.file.path);
      if (!unseat.exec()) return unseat.lastError();
      for (qsizetype i = 0; i < row.roster.size(); ++i) {
        const RowPlayer& player = row.roster[i];
        seat.addBindValue(row.file.path);
        seat.addBindValue(static_cast<qint64>(i));
        seat.addBindValue(player.name);
        seat.addBindValue(player.team);
        seat.addBindValue(player.race);
        seat.addBindValue(static_cast<qint64>(player.block_start));
        seat.addBindValue(static_cast<qint64>(player.block_end));
        if (!seat.exec()) return seat.lastError();
      }
    }
    return QSqlError();
  });
}

bool ReplayIndex::remove(const std::vector<QByteArray>& paths) {
  return write([&paths](QSqlDatabase& db) {
    QSqlQuery erase(db);
    QSqlQuery unseat(db);
    if (!erase.prepare(QStringLiteral("DELETE FROM replays WHERE path = ?"))) return erase.lastError();
    if (!unseat.prepare(QStringLiteral("DELETE FROM players WHERE path = ?"))) return unseat.lastError();
    for (const QByteArray& path : paths) {
      erase.addBindValue(path);
      unseat.addBindValue(path);
      if (!erase.exec() || !unseat.exec()) return erase.lastError().isValid() ? erase.lastError() : unseat.lastError();
    }
    return QSqlError();
  });
}

bool ReplayIndex::write(const std::function<QSqlError(QSqlDatabase&)>& work, bool again) {
  if (!m_used) return false;
  QSqlError error;
  {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery query(db);
    // IMMEDIATE takes the write lock first, so a busy copy is waited for
    // instead of failing the transaction halfway.
    if (!query.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
      error = query.lastError();
    } else {
      error = work(db);
      if (!error.isValid() && !query.exec(QStringLiteral("COMMIT"))) error = query.lastError();
      if (error.isValid()) query.exec(QStringLiteral("ROLLBACK"));
    }
  }
  if (!error.isValid()) return true;
  fail(error);
  // A damaged index has just been rebuilt: one more try, into the new one.
  return again && m_used && write(work, false);
}

}  // namespace myzor
