#include "library/replay_index.h"

#include <sqlite3.h>

#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>
#include <atomic>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "library/folder_scan.h"

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

// Reading many rows through the connection's own handle: QSqlQuery makes a
// variant of every value, which took longer than the query itself.
sqlite3* handleOf(const QSqlDatabase& db) {
  const QVariant handle = db.isValid() ? db.driver()->handle() : QVariant();
  if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) return nullptr;
  return *static_cast<sqlite3* const*>(handle.constData());
}

class Statement {
 public:
  Statement(sqlite3* db, const char* sql)
      : m_code(db == nullptr ? SQLITE_MISUSE
                             : sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr)) {}
  ~Statement() { sqlite3_finalize(m_statement); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  void bind(int at, const QByteArray& bytes) {
    if (m_code == SQLITE_OK)
      m_code = sqlite3_bind_blob(m_statement, at, bytes.constData(), static_cast<int>(bytes.size()),
                                 SQLITE_TRANSIENT);
  }
  // False at the end and on failure.
  bool next() {
    if (m_code != SQLITE_OK && m_code != SQLITE_ROW) return false;
    m_code = sqlite3_step(m_statement);
    return m_code == SQLITE_ROW;
  }
  [[nodiscard]] bool failed() const {
    return m_code != SQLITE_DONE && m_code != SQLITE_ROW && m_code != SQLITE_OK;
  }
  [[nodiscard]] QSqlError error(sqlite3* db) const {
    const QString text = db == nullptr ? QStringLiteral("the index's connection is not SQLite's")
                                       : QString::fromUtf8(sqlite3_errmsg(db));
    return QSqlError(QString(), text, QSqlError::StatementError, QString::number(m_code));
  }

  [[nodiscard]] bool isNull(int column) const {
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
  }
  [[nodiscard]] qint64 integer(int column) const {
    return sqlite3_column_int64(m_statement, column);
  }
  [[nodiscard]] QByteArrayView blob(int column) const {
    const void* data = sqlite3_column_blob(m_statement, column);
    return {static_cast<const char*>(data), sqlite3_column_bytes(m_statement, column)};
  }
  [[nodiscard]] QByteArray bytes(int column) const { return blob(column).toByteArray(); }
  // The stored bytes: UTF-8, as SQLite keeps text here.
  [[nodiscard]] std::string_view utf8(int column) const {
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    return {data == nullptr ? "" : data, static_cast<std::size_t>(sqlite3_column_bytes(m_statement, column))};
  }
  // As Qt reads text, a NULL as a null string. UTF-8 is read faster than
  // UTF-16 made by SQLite; what does not decode cleanly (a lone surrogate of
  // a damaged name) is taken in UTF-16, which gives it back as it was stored.
  [[nodiscard]] QString text(int column) const {
    if (isNull(column)) return {};
    const std::string_view bytes = utf8(column);
    QString decoded = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (!decoded.contains(QChar::ReplacementCharacter)) return decoded;
    const void* data = sqlite3_column_text16(m_statement, column);
    return QStringView(static_cast<const char16_t*>(data), sqlite3_column_bytes16(m_statement, column) / 2)
        .toString();
  }

 private:
  sqlite3_stmt* m_statement = nullptr;
  int m_code;
};

// One copy of each text that many rows have alike, shared with the rows made
// elsewhere (see ShareCommonText).
class SharedTexts {
 public:
  QString of(const Statement& statement, int column) {
    if (statement.isNull(column)) return {};
    const std::string_view bytes = statement.utf8(column);
    const auto known = m_texts.find(bytes);
    if (known != m_texts.end()) return known->second;
    // Copied first: reading the text again in UTF-16 moves its bytes.
    std::string key(bytes);
    QString made = statement.text(column);
    ShareCommonText(made);
    m_texts.emplace(std::move(key), made);
    return made;
  }

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
  };
  std::unordered_map<std::string, QString, Hash, std::equal_to<>> m_texts;
};

// Every path at or below `folder`: [low, high).
std::pair<QByteArray, QByteArray> pathRange(const QByteArray& folder) {
  QByteArray low = folder;
  if (!low.endsWith('/')) low.append('/');
  QByteArray high = low;
  high.back() = '/' + 1;  // every path that starts with `low` sorts before it
  return {low, high};
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
    stopUsing(QStringLiteral("the folder %1 cannot be made")
                  .arg(QDir::toNativeSeparators(info.absolutePath())));
    return;
  }
  // Copies of the program open, set aside and close the index one at a time:
  // one of them must not take another's half-made or just-renamed file.
  QLockFile lock(m_file + QStringLiteral(".lock"));
  if (!lock.tryLock(m_busy_timeout_ms)) {
    stopUsing(lock.error() == QLockFile::LockFailedError
                  ? QStringLiteral("%1 is held by another copy of the program")
                        .arg(QDir::toNativeSeparators(m_file))
                  : QStringLiteral("the folder %1 cannot be written")
                        .arg(QDir::toNativeSeparators(info.absolutePath())));
    return;
  }
  // SQLite takes an empty file for an empty database, but this program never
  // leaves one behind (the table is made at once), unless its log holds it.
  const bool emptied =
      info.exists() && info.size() == 0 && !QFile::exists(m_file + QStringLiteral("-wal"));
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
    stopUsing(QStringLiteral("%1 is damaged and cannot be set aside")
                  .arg(QDir::toNativeSeparators(m_file)));
  } else if (openConnection() != Opened::ok) {
    stopUsing(m_status);
  } else {
    m_status =
        QStringLiteral(
            "The replay index was damaged and has been rebuilt; the old file was kept as %1.")
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
  const auto failure = [&] {
    return isDamage(query.lastError()) ? Opened::damaged : Opened::failed;
  };

  if (!run("PRAGMA journal_mode=WAL")) return failure();
  if (!run("PRAGMA quick_check")) return failure();
  if (!query.next() || query.value(0).toString() != QLatin1String("ok")) {
    m_status =
        QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_file), query.value(0).toString());
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
    if (!query.exec(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion)))
      return rollback(failure());
  } else if (version == kRosterlessVersion) {
    // Its rows stay: they lack only the players' teams, and the library reads
    // such files again in the background (ReplayRow::lacksRoster).
    if (!run(kCreatePlayers) ||
        !query.exec(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion)))
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
    if (version != 0)
      m_status =
          QStringLiteral("The replay index was made by another version and has been rebuilt.");
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
  for (int n = 2; QFile::exists(aside); ++n)
    aside = QStringLiteral("%1.damaged-%2-%3").arg(m_file, stamp).arg(n);
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
    m_status =
        QStringLiteral("The replay index could not be used: %1; replays are read from the files.")
            .arg(why);
}

qint64 ReplayIndex::countUnder(const QByteArray& folder) {
  if (!m_used) return 0;
  const auto [low, high] = pathRange(folder);
  Statement count(handleOf(QSqlDatabase::database(m_connection, false)),
                  "SELECT COUNT(*) FROM replays WHERE path >= ? AND path < ?");
  count.bind(1, low);
  count.bind(2, high);
  return count.next() ? count.integer(0) : 0;
}

std::vector<ReplayRow> ReplayIndex::rowsUnder(const QByteArray& folder) {
  std::vector<ReplayRow> rows;
  // Room for every row at once: a vector grown by doubling would hold half
  // again as much while it moves.
  rows.reserve(static_cast<std::size_t>(countUnder(folder)));
  const bool read = rowsUnder(folder, 4096, [&rows](std::vector<ReplayRow> chunk) {
    rows.insert(rows.end(), std::make_move_iterator(chunk.begin()),
                std::make_move_iterator(chunk.end()));
    return true;
  });
  if (!read) rows.clear();
  return rows;
}

bool ReplayIndex::rowsUnder(const QByteArray& folder, std::size_t chunk,
                            const std::function<bool(std::vector<ReplayRow>)>& take) {
  if (!m_used) return false;
  const auto [low, high] = pathRange(folder);
  sqlite3* const db = handleOf(QSqlDatabase::database(m_connection, false));
  QSqlError error;
  {
    // Both tables in order of path, read side by side: each row takes the
    // players of its path as it is made.
    const QByteArray select =
        QByteArray("SELECT ") + kColumns + " FROM replays WHERE path >= ? AND path < ? ORDER BY path";
    Statement replays(db, select.constData());
    Statement players(db,
                      "SELECT path, name, team, race, block_start, block_end FROM players "
                      "WHERE path >= ? AND path < ? ORDER BY path, seat");
    for (Statement* statement : {&replays, &players}) {
      statement->bind(1, low);
      statement->bind(2, high);
    }
    // Maps, versions, names and races come again and again: each is made once.
    SharedTexts texts;
    const std::size_t room = std::min<std::size_t>(chunk, 4096);
    std::vector<ReplayRow> rows;
    rows.reserve(room);
    bool player_ahead = players.next();
    while (replays.next()) {
      ReplayRow row;
      row.file.path = replays.bytes(0);
      row.file.size = replays.integer(1);
      row.file.mtime_ns = replays.integer(2);
      row.file.inode = static_cast<std::uint64_t>(replays.integer(3));
      row.relative_path = RelativePath(folder, row.file.path);
      row.game = replays.text(4);
      row.map = texts.of(replays, 5);
      if (!replays.isNull(6)) row.players = unpackList(replays.bytes(6));
      row.teams = replays.text(7);
      if (!replays.isNull(8)) row.races = unpackList(replays.bytes(8));
      row.version = texts.of(replays, 9);
      row.win_conditions = texts.of(replays, 10);
      row.player_count = static_cast<int>(replays.integer(11));
      row.ok = replays.integer(12) != 0;
      row.error_kind = texts.of(replays, 13);
      if (!replays.isNull(14)) row.error_offset = replays.integer(14);
      row.error_message = replays.text(15);
      for (QString& name : row.players) ShareCommonText(name);
      for (QString& race : row.races) ShareCommonText(race);
      while (player_ahead && players.blob(0) < replays.blob(0)) player_ahead = players.next();
      if (player_ahead && players.blob(0) == replays.blob(0)) row.roster.reserve(row.player_count);
      for (; player_ahead && players.blob(0) == replays.blob(0); player_ahead = players.next()) {
        row.roster.push_back(RowPlayer{texts.of(players, 1), texts.of(players, 3),
                                       static_cast<int>(players.integer(2)), players.integer(4),
                                       players.integer(5)});
      }
      if (row.players.isEmpty() && !row.roster.isEmpty()) {
        row.players.reserve(row.roster.size());
        row.races.reserve(row.roster.size());
        for (const RowPlayer& player : row.roster) {
          row.players.append(player.name);
          row.races.append(player.race);
        }
      }
      rows.push_back(std::move(row));
      if (rows.size() >= chunk) {
        if (!take(std::exchange(rows, {}))) break;
        rows.reserve(room);
      }
    }
    if (!rows.empty()) take(std::move(rows));
    for (const Statement* statement : {&players, &replays}) {
      if (statement->failed()) error = statement->error(db);
    }
  }
  // Closing the connection needs every statement on it gone.
  if (!error.isValid()) return true;
  fail(error);
  return false;
}

bool ReplayIndex::store(const std::vector<ReplayRow>& rows) {
  return write([&rows](QSqlDatabase& db) {
    QSqlQuery insert(db);
    QSqlQuery unseat(db);
    QSqlQuery seat(db);
    if (!insert.prepare(
            QStringLiteral(
                "INSERT OR REPLACE INTO replays (%1) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)")
                .arg(QLatin1String(kColumns))))
      return insert.lastError();
    if (!unseat.prepare(QStringLiteral("DELETE FROM players WHERE path = ?")))
      return unseat.lastError();
    if (!seat.prepare(QStringLiteral(
            "INSERT INTO players (path, seat, name, team, race, block_start, block_end) "
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
      insert.addBindValue(row.error_offset ? QVariant(static_cast<qint64>(*row.error_offset))
                                           : QVariant());
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
    if (!erase.prepare(QStringLiteral("DELETE FROM replays WHERE path = ?")))
      return erase.lastError();
    if (!unseat.prepare(QStringLiteral("DELETE FROM players WHERE path = ?")))
      return unseat.lastError();
    for (const QByteArray& path : paths) {
      erase.addBindValue(path);
      unseat.addBindValue(path);
      if (!erase.exec() || !unseat.exec())
        return erase.lastError().isValid() ? erase.lastError() : unseat.lastError();
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
