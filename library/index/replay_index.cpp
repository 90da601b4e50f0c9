#include "library/index/replay_index.h"

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

#include "library/core/folder_scan.h"
#include "library/sqlite/damaged_file.h"

namespace myzor {
namespace {

// Raised whenever the tables change; an index of any other version is
// rebuilt, except the ones before, whose rows are kept (see upgrade).
constexpr int kSchemaVersion = 4;
// Kept only the replays table, without the players' teams.
constexpr int kRosterlessVersion = 1;
// Kept the players in a table of their own, one row each with the replay's
// path; versions 2 and 3 differ only in which rows had the name lists too.
constexpr int kListsVersion = 2;
constexpr int kPlayersTableVersion = 3;

constexpr const char* kColumns =
    "path, size, mtime_ns, inode, game, map, roster, teams, version, win_conditions, "
    "player_count, ok, error_kind, error_offset, error_message";

// `roster` holds the players in file order, packed (see packRoster).
constexpr const char* kCreateTable =
    "CREATE TABLE replays (path BLOB PRIMARY KEY, size INTEGER NOT NULL, mtime_ns INTEGER NOT "
    "NULL, "
    "inode INTEGER NOT NULL, game TEXT, map TEXT, roster BLOB, teams TEXT, version TEXT, "
    "win_conditions TEXT, player_count INTEGER, ok INTEGER NOT NULL, error_kind TEXT, "
    "error_offset INTEGER, error_message TEXT) WITHOUT ROWID";

// The lists of the versions before, in Qt's own framing.
QStringList unpackList(const QByteArray& bytes) {
  QStringList list;
  QDataStream stream(bytes);
  stream.setVersion(QDataStream::Qt_6_0);
  stream >> list;
  return list;
}

// A roster is packed as one tag byte and the number of players, then per
// player its name and race
// (each a length and UTF-8 bytes) and, under kWithTeams, its team, block
// start and block length. Numbers are LEB128, signed ones zigzagged: a
// player takes about 25 bytes instead of a table row that repeats the path.
enum RosterTag : char { kNamesOnly = 0, kWithTeams = 1 };

void putNumber(QByteArray& out, std::uint64_t n) {
  for (; n >= 0x80; n >>= 7) out.append(static_cast<char>((n & 0x7f) | 0x80));
  out.append(static_cast<char>(n));
}
void putSigned(QByteArray& out, std::int64_t n) {
  putNumber(out, (static_cast<std::uint64_t>(n) << 1) ^ static_cast<std::uint64_t>(n >> 63));
}
// Block ends are kept as lengths; whatever the numbers, the sum and the
// difference wrap instead of overflowing.
std::int64_t wrappingSum(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}
std::int64_t wrappingDifference(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}
void putText(QByteArray& out, const QString& text) {
  const QByteArray bytes = text.toUtf8();
  putNumber(out, static_cast<std::uint64_t>(bytes.size()));
  out.append(bytes);
}

// NULL for a row without players.
QVariant packRoster(const ReplayRow& row) {
  if (row.roster.isEmpty()) return QVariant(QMetaType::fromType<QByteArray>());
  QByteArray out;
  out.reserve(32 * (row.roster.size() + 1));
  out.append(row.names_only ? kNamesOnly : kWithTeams);
  putNumber(out, static_cast<std::uint64_t>(row.roster.size()));
  for (const RowPlayer& player : row.roster) {
    putText(out, player.name);
    putText(out, player.race);
    if (row.names_only) continue;
    putSigned(out, player.team);
    putSigned(out, player.block_start);
    putSigned(out, wrappingDifference(player.block_end, player.block_start));
  }
  return out;
}

// Reads what packRoster wrote; false when the bytes end early or hold more.
class RosterReader {
 public:
  explicit RosterReader(QByteArrayView bytes)
      : m_at(bytes.data()), m_end(bytes.data() + bytes.size()) {}
  [[nodiscard]] bool atEnd() const { return m_at == m_end; }
  [[nodiscard]] std::uint64_t left() const { return static_cast<std::uint64_t>(m_end - m_at); }
  bool tag(char& tag) {
    if (m_at == m_end) return false;
    tag = *m_at++;
    return tag == kNamesOnly || tag == kWithTeams;
  }
  bool number(std::uint64_t& n) {
    n = 0;
    for (int shift = 0; m_at != m_end && shift < 64; shift += 7) {
      const auto byte = static_cast<unsigned char>(*m_at++);
      n |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
      if ((byte & 0x80) == 0) return true;
    }
    return false;
  }
  bool number(std::int64_t& n) {
    std::uint64_t zigzag = 0;
    if (!number(zigzag)) return false;
    n = static_cast<std::int64_t>(zigzag >> 1) ^ -static_cast<std::int64_t>(zigzag & 1);
    return true;
  }
  bool text(std::string_view& text) {
    std::uint64_t size = 0;
    if (!number(size) || size > static_cast<std::uint64_t>(m_end - m_at)) return false;
    text = {m_at, static_cast<std::size_t>(size)};
    m_at += size;
    return true;
  }

 private:
  const char* m_at;
  const char* m_end;
};

// SQLITE_CORRUPT and SQLITE_NOTADB, with or without their extended codes.
IndexStatus describe(const QString& file, const QSqlError& error) {
  IndexStatus problem;
  problem.reason = IndexStatus::Reason::database;
  problem.path = QDir::toNativeSeparators(file);
  problem.detail = error.databaseText().isEmpty() ? error.text() : error.databaseText();
  return problem;
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
    return {data == nullptr ? "" : data,
            static_cast<std::size_t>(sqlite3_column_bytes(m_statement, column))};
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
    return QStringView(static_cast<const char16_t*>(data),
                       sqlite3_column_bytes16(m_statement, column) / 2)
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
  // A text of a packed roster, which is UTF-8 throughout.
  QString of(std::string_view bytes) {
    const auto known = m_texts.find(bytes);
    if (known != m_texts.end()) return known->second;
    QString made = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    ShareCommonText(made);
    m_texts.emplace(std::string(bytes), made);
    return made;
  }

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>()(text);
    }
  };
  std::unordered_map<std::string, QString, Hash, std::equal_to<>> m_texts;
};

// Fills the row's players from a packed roster; false when it does not
// unpack.
bool unpackRoster(QByteArrayView bytes, SharedTexts& texts, ReplayRow& row) {
  RosterReader in(bytes);
  char tag = kNamesOnly;
  std::uint64_t count = 0;
  if (!in.tag(tag) || !in.number(count)) return false;
  // Each player takes two bytes at least: a damaged count asks for no more.
  if (count > in.left() / 2) return false;
  const auto players = static_cast<qsizetype>(count);
  row.roster.reserve(players);
  row.names_only = tag != kWithTeams;
  for (; count > 0; --count) {
    std::string_view name;
    std::string_view race;
    if (!in.text(name) || !in.text(race)) return false;
    RowPlayer& player = row.roster.emplace_back(RowPlayer{texts.of(name), texts.of(race)});
    if (row.names_only) continue;
    std::int64_t team = 0;
    std::int64_t length = 0;
    if (!in.number(team) || !in.number(player.block_start) || !in.number(length)) return false;
    player.team = static_cast<int>(team);
    player.block_end = wrappingSum(player.block_start, length);
  }
  return in.atEnd();
}

// Adds or replaces the rows, by path.
QSqlError insertRows(QSqlDatabase& db, const std::vector<ReplayRow>& rows) {
  QSqlQuery insert(db);
  if (!insert.prepare(
          QStringLiteral(
              "INSERT OR REPLACE INTO replays (%1) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)")
              .arg(QLatin1String(kColumns))))
    return insert.lastError();
  for (const ReplayRow& row : rows) {
    insert.addBindValue(row.file.path);
    insert.addBindValue(static_cast<qint64>(row.file.size));
    insert.addBindValue(static_cast<qint64>(row.file.mtime_ns));
    insert.addBindValue(static_cast<qint64>(row.file.inode));
    insert.addBindValue(row.game);
    insert.addBindValue(row.map);
    insert.addBindValue(packRoster(row));
    insert.addBindValue(row.teams());
    insert.addBindValue(row.version);
    insert.addBindValue(row.win_conditions);
    insert.addBindValue(row.player_count);
    insert.addBindValue(row.ok);
    insert.addBindValue(row.error_kind);
    insert.addBindValue(row.error_offset ? QVariant(static_cast<qint64>(*row.error_offset))
                                         : QVariant());
    insert.addBindValue(row.error_message);
    if (!insert.exec()) return insert.lastError();
  }
  return QSqlError();
}

// Moves the rows of an index of a version before into the table of this
// one, inside the caller's transaction. The players come from the players
// table where there is one, else from the name lists.
QSqlError upgrade(QSqlDatabase& db, bool players_table) {
  QSqlQuery query(db);
  for (const char* sql :
       {"ALTER TABLE replays RENAME TO replays_before", kCreateTable,
        "INSERT INTO replays (path, size, mtime_ns, inode, game, map, teams, version, "
        "win_conditions, "
        "player_count, ok, error_kind, error_offset, error_message) SELECT path, size, mtime_ns, "
        "inode, "
        "game, map, teams, version, win_conditions, player_count, ok, error_kind, error_offset, "
        "error_message FROM replays_before"}) {
    if (!query.exec(QString::fromLatin1(sql))) return query.lastError();
  }
  QSqlQuery lists(db);
  QSqlQuery seats(db);
  QSqlQuery set(db);
  lists.setForwardOnly(true);
  seats.setForwardOnly(true);
  if (!lists.exec(QStringLiteral("SELECT path, players, races FROM replays_before ORDER BY path")))
    return lists.lastError();
  if (players_table && !seats.exec(QStringLiteral(
                           "SELECT path, name, team, race, block_start, block_end FROM players "
                           "ORDER BY path, seat")))
    return seats.lastError();
  if (!set.prepare(QStringLiteral("UPDATE replays SET roster = ? WHERE path = ?")))
    return set.lastError();
  bool seat_ahead = players_table && seats.next();
  while (lists.next()) {
    const QByteArray path = lists.value(0).toByteArray();
    const QStringList names = unpackList(lists.value(1).toByteArray());
    const QStringList races = unpackList(lists.value(2).toByteArray());
    ReplayRow row;
    while (seat_ahead && seats.value(0).toByteArray() < path) seat_ahead = seats.next();
    for (; seat_ahead && seats.value(0).toByteArray() == path; seat_ahead = seats.next()) {
      row.roster.push_back(RowPlayer{seats.value(1).toString(), seats.value(3).toString(),
                                     seats.value(2).toInt(), seats.value(4).toLongLong(),
                                     seats.value(5).toLongLong()});
    }
    // The lists name the players; seats that do not match them are not the
    // same players, and the file is read again.
    if (!names.isEmpty() && row.roster.size() != names.size()) {
      row.roster.clear();
      row.names_only = true;
      for (qsizetype i = 0; i < names.size(); ++i)
        row.roster.push_back(RowPlayer{names[i], races.value(i)});
    }
    const QVariant roster = packRoster(row);
    if (roster.isNull()) continue;
    set.addBindValue(roster);
    set.addBindValue(path);
    if (!set.exec()) return set.lastError();
  }
  for (const QSqlQuery* read : {&lists, &seats}) {
    if (read->lastError().isValid()) return read->lastError();
  }
  lists.finish();
  seats.finish();
  query.finish();
  for (const char* sql : {"DROP TABLE replays_before", "DROP TABLE IF EXISTS players"}) {
    if (!query.exec(QString::fromLatin1(sql))) return query.lastError();
  }
  return QSqlError();
}

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
    stopUsing(IndexStatus::Reason::no_cache_folder);
    return;
  }
  const QFileInfo info(m_file);
  if (!QDir().mkpath(info.absolutePath())) {
    stopUsing(IndexStatus::Reason::folder_not_made, QDir::toNativeSeparators(info.absolutePath()));
    return;
  }
  // Copies of the program open, set aside and close the index one at a time:
  // one of them must not take another's half-made or just-renamed file.
  QLockFile lock(m_file + QStringLiteral(".lock"));
  if (!lock.tryLock(m_busy_timeout_ms)) {
    if (lock.error() == QLockFile::LockFailedError)
      stopUsing(IndexStatus::Reason::held_by_another_copy, QDir::toNativeSeparators(m_file));
    else
      stopUsing(IndexStatus::Reason::folder_not_writable,
                QDir::toNativeSeparators(info.absolutePath()));
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
  if (!SetAsideDamaged(m_file, aside)) {
    stopUsing(IndexStatus::Reason::cannot_set_aside, QDir::toNativeSeparators(m_file));
  } else if (openConnection() != Opened::ok) {
    stopUsing(m_status);
  } else {
    m_status = {};
    m_status.kind = IndexStatus::Kind::rebuilt;
    m_status.path = QDir::toNativeSeparators(aside);
  }
}

// Damage found while reading or writing is mended at once, so that the next
// start does not meet it again; the rows of this call are read from the files.
void ReplayIndex::fail(const QSqlError& error) {
  QLockFile lock(m_file + QStringLiteral(".lock"));
  if (IsDamage(error) && lock.tryLock(m_busy_timeout_ms))
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

IndexStatus ReplayIndex::takeStatus() { return std::exchange(m_status, IndexStatus()); }

// On failure m_status holds what went wrong, for stopUsing.
ReplayIndex::Opened ReplayIndex::openConnection() {
  static std::atomic_int counter{0};
  m_connection = QStringLiteral("myzor-index-%1").arg(++counter);
  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
  db.setDatabaseName(m_file);
  db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(m_busy_timeout_ms));
  if (!db.open()) {
    m_status = describe(m_file, db.lastError());
    return IsDamage(db.lastError()) ? Opened::damaged : Opened::failed;
  }
  QSqlQuery query(db);
  const auto run = [&](const char* sql) {
    if (query.exec(QString::fromLatin1(sql))) return true;
    m_status = describe(m_file, query.lastError());
    return false;
  };
  const auto failure = [&] {
    return IsDamage(query.lastError()) ? Opened::damaged : Opened::failed;
  };

  if (!run("PRAGMA journal_mode=WAL")) return failure();
  if (!run("PRAGMA quick_check")) return failure();
  if (!query.next() || query.value(0).toString() != QLatin1String("ok")) {
    m_status = {};
    m_status.reason = IndexStatus::Reason::database;
    m_status.path = QDir::toNativeSeparators(m_file);
    m_status.detail = query.value(0).toString();
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
  bool upgraded = false;
  if (version >= kRosterlessVersion && version <= kPlayersTableVersion) {
    // Its rows stay. Those of the first version lack the players' teams,
    // and the library reads such files again in the background
    // (ReplayRow::lacksRoster).
    query.finish();  // a table is dropped only with no statement open
    const QSqlError error = upgrade(db, version >= kListsVersion);
    if (error.isValid()) {
      m_status = describe(m_file, error);
      return rollback(IsDamage(error) ? Opened::damaged : Opened::failed);
    }
    if (!query.exec(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion)))
      return rollback(failure());
    upgraded = true;
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
    if (!run(kCreateTable) ||
        !query.exec(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion)))
      return rollback(failure());
    if (version != 0) {
      m_status = {};
      m_status.kind = IndexStatus::Kind::rebuilt_upgraded;
    }
  }
  if (!run("COMMIT")) return rollback(failure());
  // The old tables' pages are given back to the disk; the index works
  // without, so a failure here (a full disk) is let pass.
  if (upgraded) query.exec(QStringLiteral("VACUUM"));
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
void ReplayIndex::stopUsing(IndexStatus::Reason reason, const QString& path,
                            const QString& detail) {
  IndexStatus problem;
  problem.reason = reason;
  problem.path = path;
  problem.detail = detail;
  stopUsing(problem);
}

void ReplayIndex::stopUsing(const IndexStatus& problem) {
  m_used = false;
  closeConnection();
  if (!std::exchange(m_stopped, true)) {
    m_status = problem;
    m_status.kind = IndexStatus::Kind::unusable;
  }
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
    const QByteArray select = QByteArray("SELECT ") + kColumns +
                              " FROM replays WHERE path >= ? AND path < ? ORDER BY path";
    Statement replays(db, select.constData());
    replays.bind(1, low);
    replays.bind(2, high);
    // Maps, versions, names and races come again and again: each is made once.
    SharedTexts texts;
    const std::size_t room = std::min<std::size_t>(chunk, 4096);
    std::vector<ReplayRow> rows;
    rows.reserve(room);
    while (replays.next()) {
      ReplayRow row;
      // A roster that does not unpack leaves its file out, to be read again.
      if (!replays.isNull(6) && !unpackRoster(replays.blob(6), texts, row)) continue;
      row.file.path = replays.bytes(0);
      row.file.size = replays.integer(1);
      row.file.mtime_ns = replays.integer(2);
      row.file.inode = static_cast<std::uint64_t>(replays.integer(3));
      row.relative_path = RelativePath(folder, row.file.path);
      row.game = replays.text(4);
      row.map = texts.of(replays, 5);
      if (row.names_only) row.names_only_teams = replays.text(7);
      row.version = texts.of(replays, 8);
      row.win_conditions = texts.of(replays, 9);
      row.player_count = static_cast<int>(replays.integer(10));
      row.ok = replays.integer(11) != 0;
      row.error_kind = texts.of(replays, 12);
      if (!replays.isNull(13)) row.error_offset = replays.integer(13);
      row.error_message = replays.text(14);
      rows.push_back(std::move(row));
      if (rows.size() >= chunk) {
        if (!take(std::exchange(rows, {}))) break;
        rows.reserve(room);
      }
    }
    if (!rows.empty()) take(std::move(rows));
    if (replays.failed()) error = replays.error(db);
  }
  // Closing the connection needs every statement on it gone.
  if (!error.isValid()) return true;
  fail(error);
  return false;
}

bool ReplayIndex::store(const std::vector<ReplayRow>& rows) {
  return write([&rows](QSqlDatabase& db) { return insertRows(db, rows); });
}

bool ReplayIndex::remove(const std::vector<QByteArray>& paths) {
  return write([&paths](QSqlDatabase& db) {
    QSqlQuery erase(db);
    if (!erase.prepare(QStringLiteral("DELETE FROM replays WHERE path = ?")))
      return erase.lastError();
    for (const QByteArray& path : paths) {
      erase.addBindValue(path);
      if (!erase.exec()) return erase.lastError();
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
