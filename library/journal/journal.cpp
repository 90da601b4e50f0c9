#include "library/journal/journal.h"

#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>
#include <atomic>
#include <cerrno>

#include "library/sqlite/damaged_file.h"

namespace myzor {
namespace {

constexpr int kSchemaVersion = 2;
constexpr int kBatchesKept = 100;

const char* const kSchema[] = {
    "CREATE TABLE batches (id INTEGER PRIMARY KEY AUTOINCREMENT, kind TEXT NOT NULL, program TEXT, "
    "options TEXT, started_ms INTEGER NOT NULL, ended_ms INTEGER, state TEXT NOT NULL, pid "
    "INTEGER, "
    "boot TEXT, total INTEGER NOT NULL)",
    "CREATE TABLE steps (batch INTEGER NOT NULL, ordinal INTEGER NOT NULL, state INTEGER NOT NULL, "
    "source BLOB NOT NULL, target BLOB, temporary BLOB, device INTEGER, inode INTEGER, size "
    "INTEGER, "
    "mtime_ns INTEGER, copy_inode INTEGER, sha256 BLOB, note TEXT, changed_ms INTEGER, "
    "PRIMARY KEY (batch, ordinal)) WITHOUT ROWID",
};

// Added by the second version: the edits' data, and what the user knows.
// A replay's row lives at its path; one whose file is gone keeps its row
// (gone_ms) until it is found again by size and SHA-256 or forgotten. Tags
// are kept with '\n' between.
const char* const kSchemaTwo[] = {
    "ALTER TABLE steps ADD COLUMN before BLOB",
    "ALTER TABLE steps ADD COLUMN after BLOB",
    "CREATE TABLE replays (id INTEGER PRIMARY KEY, path BLOB NOT NULL, size INTEGER NOT NULL, "
    "sha256 BLOB, tags TEXT NOT NULL DEFAULT '', rating INTEGER NOT NULL DEFAULT 0, "
    "favourite INTEGER NOT NULL DEFAULT 0, watched INTEGER NOT NULL DEFAULT 0, "
    "note TEXT NOT NULL DEFAULT '', gone_ms INTEGER)",
    "CREATE UNIQUE INDEX replays_live ON replays (path) WHERE gone_ms IS NULL",
    "CREATE INDEX replays_size ON replays (size)",
    "CREATE TABLE players (name TEXT PRIMARY KEY, person TEXT, note TEXT NOT NULL DEFAULT '') "
    "WITHOUT ROWID",
};

constexpr const char* kBatchColumns =
    "id, kind, program, options, started_ms, ended_ms, state, pid, boot, total, "
    "(SELECT COUNT(*) FROM steps WHERE steps.batch = batches.id AND steps.state IN (1, 3, 4))";

const BatchKind kKinds[] = {BatchKind::rename, BatchKind::move,  BatchKind::copy,
                            BatchKind::trash,  BatchKind::notes, BatchKind::players};

// Tells this boot's process ids from those of an earlier one.
QString bootId() {
  QFile file(QStringLiteral("/proc/sys/kernel/random/boot_id"));
  return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll().trimmed()) : QString();
}

bool processAlive(qint64 pid) {
  return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// SQLITE_CORRUPT and SQLITE_NOTADB, with or without their extended codes.
QString stateName(BatchState state) {
  switch (state) {
    case BatchState::running:
      return QStringLiteral("running");
    case BatchState::finished:
      return QStringLiteral("finished");
    case BatchState::interrupted:
      return QStringLiteral("interrupted");
    case BatchState::undone:
      return QStringLiteral("undone");
  }
  return {};
}

qint64 msOf(const QDateTime& time) { return time.toMSecsSinceEpoch(); }

}  // namespace

QString BatchKindName(BatchKind kind) {
  switch (kind) {
    case BatchKind::rename:
      return QStringLiteral("rename");
    case BatchKind::move:
      return QStringLiteral("move");
    case BatchKind::copy:
      return QStringLiteral("copy");
    case BatchKind::trash:
      return QStringLiteral("trash");
    case BatchKind::notes:
      return QStringLiteral("notes");
    case BatchKind::players:
      return QStringLiteral("players");
  }
  return {};
}

QString DescribeBatch(const JournalBatch& batch) {
  const QString files =
      batch.total == 1 ? QStringLiteral("1 replay") : QStringLiteral("%1 replays").arg(batch.total);
  return QStringLiteral("%1 of %2, started %3: %4 done")
      .arg(BatchKindName(batch.kind), files,
           batch.started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
      .arg(batch.done);
}

Journal::Journal(const QString& file, int busy_timeout_ms)
    : m_file(file), m_busy_timeout_ms(busy_timeout_ms) {
  if (m_file.isEmpty()) {
    m_error = QStringLiteral("there is no data folder for the journal");
    return;
  }
  const QFileInfo info(m_file);
  if (!QDir().mkpath(info.absolutePath())) {
    m_error = QStringLiteral("the journal's folder %1 cannot be made")
                  .arg(QDir::toNativeSeparators(info.absolutePath()));
    return;
  }
  bool damaged = false;
  if (open(damaged)) return;
  const QString why = m_error;
  close();
  if (!damaged) return;
  QString aside;
  if (!SetAsideDamaged(m_file, aside)) {
    m_error = QStringLiteral("%1 is damaged (%2) and cannot be set aside")
                  .arg(QDir::toNativeSeparators(m_file), why);
    return;
  }
  // Made anew for the next try; this operation is still refused, as what it
  // would undo may be in the damaged file.
  bool again = false;
  open(again);
  close();
  m_error = QStringLiteral("the journal %1 was damaged (%2); it was kept as %3 and a new one made")
                .arg(QDir::toNativeSeparators(m_file), why, QDir::toNativeSeparators(aside));
}

Journal::~Journal() { close(); }

QString Journal::defaultFile() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  return folder.isEmpty() ? QString() : folder + QStringLiteral("/myzor/journal.sqlite");
}

bool Journal::open(bool& damaged) {
  static std::atomic_int counter{0};
  m_connection = QStringLiteral("myzor-journal-%1").arg(++counter);
  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
  db.setDatabaseName(m_file);
  db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(m_busy_timeout_ms));
  const auto failed = [&](const QSqlError& error) {
    damaged = IsDamage(error);
    m_error = QStringLiteral("%1: %2").arg(
        QDir::toNativeSeparators(m_file),
        error.databaseText().isEmpty() ? error.text() : error.databaseText());
    return false;
  };
  // An empty file is no journal of ours: it was cut short.
  if (QFileInfo(m_file).exists() && QFileInfo(m_file).size() == 0 &&
      !QFile::exists(m_file + QStringLiteral("-wal"))) {
    damaged = true;
    m_error = QStringLiteral("%1: the file is empty").arg(QDir::toNativeSeparators(m_file));
    return false;
  }
  if (!db.open()) return failed(db.lastError());
  QSqlQuery query(db);
  for (const char* pragma : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL"})
    if (!query.exec(QString::fromLatin1(pragma))) return failed(query.lastError());
  if (!query.exec(QStringLiteral("PRAGMA quick_check"))) return failed(query.lastError());
  if (!query.next() || query.value(0).toString() != QLatin1String("ok")) {
    damaged = true;
    m_error =
        QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_file), query.value(0).toString());
    return false;
  }
  if (!query.exec(QStringLiteral("BEGIN IMMEDIATE"))) return failed(query.lastError());
  const auto rollback = [&](const QSqlError& error) {
    QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    return failed(error);
  };
  if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
    return rollback(query.lastError());
  const int version = query.value(0).toInt();
  if (version == 0) {
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master")) || !query.next())
      return rollback(query.lastError());
    if (query.value(0).toInt() != 0) {
      QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
      damaged = true;
      m_error =
          QStringLiteral("%1: not a journal of this program").arg(QDir::toNativeSeparators(m_file));
      return false;
    }
    for (const char* sql : kSchema)
      if (!query.exec(QString::fromLatin1(sql))) return rollback(query.lastError());
  }
  if (version < 2) {
    for (const char* sql : kSchemaTwo)
      if (!query.exec(QString::fromLatin1(sql))) return rollback(query.lastError());
    if (!query.exec(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion)))
      return rollback(query.lastError());
  } else if (version != kSchemaVersion) {
    // A newer program's history is not ours to rewrite.
    QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    m_error = QStringLiteral("%1 was written by another version of this program")
                  .arg(QDir::toNativeSeparators(m_file));
    return false;
  }
  if (!query.exec(QStringLiteral("COMMIT"))) return rollback(query.lastError());
  return true;
}

void Journal::close() {
  if (m_connection.isEmpty()) return;
  QSqlDatabase::database(m_connection, false).close();
  QSqlDatabase::removeDatabase(m_connection);
  m_connection.clear();
}

bool Journal::fail(const QString& what) {
  m_error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_file), what);
  return false;
}

std::optional<qint64> Journal::begin(BatchKind kind, const std::vector<JournalStep>& steps,
                                     const QString& options) {
  if (!isOpen()) return std::nullopt;
  QSqlDatabase db = QSqlDatabase::database(m_connection, false);
  QSqlQuery query(db);
  if (!query.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
    fail(query.lastError().databaseText());
    return std::nullopt;
  }
  const auto rollback = [&](const QSqlQuery& failed) -> std::optional<qint64> {
    fail(failed.lastError().databaseText());
    QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    return std::nullopt;
  };
  query.prepare(QStringLiteral(
      "INSERT INTO batches (kind, program, options, started_ms, state, pid, boot, total) "
      "VALUES (?, ?, ?, ?, 'running', ?, ?, ?)"));
  query.addBindValue(BatchKindName(kind));
  query.addBindValue(QCoreApplication::applicationName());
  query.addBindValue(options);
  query.addBindValue(msOf(QDateTime::currentDateTime()));
  query.addBindValue(static_cast<qint64>(::getpid()));
  query.addBindValue(bootId());
  query.addBindValue(static_cast<int>(steps.size()));
  if (!query.exec()) return rollback(query);
  const qint64 id = query.lastInsertId().toLongLong();
  QSqlQuery insert(db);
  insert.prepare(QStringLiteral(
      "INSERT INTO steps (batch, ordinal, state, source, target, temporary, device, inode, "
      "size, mtime_ns, copy_inode, sha256, note, changed_ms) "
      "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
  const qint64 now = msOf(QDateTime::currentDateTime());
  for (const JournalStep& step : steps) {
    for (const QVariant& value :
         {QVariant(id), QVariant(step.ordinal), QVariant(static_cast<int>(step.state)),
          QVariant(step.source), QVariant(step.target), QVariant(step.temporary),
          QVariant(static_cast<qint64>(step.device)), QVariant(static_cast<qint64>(step.inode)),
          QVariant(static_cast<qint64>(step.size)), QVariant(static_cast<qint64>(step.mtime_ns)),
          QVariant(static_cast<qint64>(step.copy_inode)), QVariant(step.sha256),
          QVariant(step.note), QVariant(now)})
      insert.addBindValue(value);
    if (!insert.exec()) return rollback(insert);
  }
  // Older batches go, but never one that may still need an undo or finish.
  query.prepare(
      QStringLiteral("DELETE FROM steps WHERE batch <= ? AND batch NOT IN "
                     "(SELECT id FROM batches WHERE state = 'running')"));
  query.addBindValue(id - kBatchesKept);
  if (!query.exec()) return rollback(query);
  query.prepare(QStringLiteral("DELETE FROM batches WHERE id <= ? AND state != 'running'"));
  query.addBindValue(id - kBatchesKept);
  if (!query.exec()) return rollback(query);
  if (!query.exec(QStringLiteral("COMMIT"))) return rollback(query);
  return id;
}

bool Journal::update(qint64 batch, const JournalStep& step) {
  if (!isOpen()) return false;
  QSqlDatabase db = QSqlDatabase::database(m_connection, false);
  QSqlQuery query(db);
  const bool settles = step.state == StepState::done || step.state == StepState::undone;
  if (settles && !query.exec(QStringLiteral("BEGIN IMMEDIATE")))
    return fail(query.lastError().databaseText());
  query.prepare(QStringLiteral(
      "UPDATE steps SET state = ?, target = ?, temporary = ?, copy_inode = ?, sha256 = ?, "
      "note = ?, changed_ms = ? WHERE batch = ? AND ordinal = ?"));
  for (const QVariant& value :
       {QVariant(static_cast<int>(step.state)), QVariant(step.target), QVariant(step.temporary),
        QVariant(static_cast<qint64>(step.copy_inode)), QVariant(step.sha256), QVariant(step.note),
        QVariant(msOf(QDateTime::currentDateTime())), QVariant(batch), QVariant(step.ordinal)})
    query.addBindValue(value);
  if (!settles) return query.exec() || fail(query.lastError().databaseText());
  if ((query.exec() || fail(query.lastError().databaseText())) && carry(batch, step) &&
      (query.exec(QStringLiteral("COMMIT")) || fail(query.lastError().databaseText())))
    return true;
  QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
  return false;
}

bool Journal::carry(qint64 batch, const JournalStep& step) {
  QSqlDatabase db = QSqlDatabase::database(m_connection, false);
  QSqlQuery query(db);
  query.prepare(QStringLiteral("SELECT kind FROM batches WHERE id = ?"));
  query.addBindValue(batch);
  if (!query.exec() || !query.next()) return fail(query.lastError().databaseText());
  const QString kind = query.value(0).toString();
  const bool done = step.state == StepState::done;
  const auto run = [&](const char* sql, std::initializer_list<QVariant> values) {
    QSqlQuery statement(db);
    statement.prepare(QString::fromLatin1(sql));
    for (const QVariant& value : values) statement.addBindValue(value);
    return statement.exec() || fail(statement.lastError().databaseText());
  };
  const qint64 now = msOf(QDateTime::currentDateTime());
  // A row left at the path a file now takes belongs to a file that went.
  const auto moveRow = [&](const QByteArray& from, const QByteArray& to) {
    if (from.isEmpty() || to.isEmpty() || from == to) return true;
    return run("UPDATE replays SET gone_ms = ? WHERE path = ? AND gone_ms IS NULL", {now, to}) &&
           run("UPDATE replays SET path = ? WHERE path = ? AND gone_ms IS NULL", {to, from});
  };
  if (kind == BatchKindName(BatchKind::rename) || kind == BatchKindName(BatchKind::move))
    return done ? moveRow(step.source, step.target) : moveRow(step.target, step.source);
  if (kind == BatchKindName(BatchKind::copy)) {
    if (!done) return run("DELETE FROM replays WHERE path = ? AND gone_ms IS NULL", {step.target});
    if (step.target.isEmpty()) return true;
    return run("UPDATE replays SET gone_ms = ? WHERE path = ? AND gone_ms IS NULL",
               {now, step.target}) &&
           run("INSERT INTO replays (path, size, sha256, tags, rating, favourite, watched, note) "
               "SELECT ?, size, sha256, tags, rating, favourite, watched, note FROM replays "
               "WHERE path = ? AND gone_ms IS NULL",
               {step.target, step.source});
  }
  if (kind == BatchKindName(BatchKind::trash)) {
    if (done)
      return run("UPDATE replays SET gone_ms = ? WHERE path = ? AND gone_ms IS NULL",
                 {now, step.source});
    // Back from the trash: the newest row that went from its path.
    return run(
        "UPDATE replays SET gone_ms = NULL WHERE id = (SELECT id FROM replays WHERE "
        "path = ? AND gone_ms IS NOT NULL ORDER BY gone_ms DESC LIMIT 1) AND NOT EXISTS "
        "(SELECT 1 FROM replays WHERE path = ? AND gone_ms IS NULL)",
        {step.source, step.source});
  }
  return true;
}

QSqlDatabase Journal::database() const { return QSqlDatabase::database(m_connection, false); }

std::optional<qint64> Journal::record(BatchKind kind, std::vector<JournalStep> steps,
                                      const Apply& apply) {
  if (!isOpen()) return std::nullopt;
  QSqlDatabase db = database();
  QSqlQuery query(db);
  if (!query.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
    fail(query.lastError().databaseText());
    return std::nullopt;
  }
  const auto rollback = [&](const QString& why) -> std::optional<qint64> {
    fail(why);
    QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    return std::nullopt;
  };
  const qint64 now = msOf(QDateTime::currentDateTime());
  query.prepare(QStringLiteral(
      "INSERT INTO batches (kind, program, options, started_ms, ended_ms, state, pid, boot, "
      "total) VALUES (?, ?, '', ?, ?, 'finished', ?, ?, ?)"));
  for (const QVariant& value :
       {QVariant(BatchKindName(kind)), QVariant(QCoreApplication::applicationName()), QVariant(now),
        QVariant(now), QVariant(static_cast<qint64>(::getpid())), QVariant(bootId()),
        QVariant(static_cast<int>(steps.size()))})
    query.addBindValue(value);
  if (!query.exec()) return rollback(query.lastError().databaseText());
  const qint64 id = query.lastInsertId().toLongLong();
  QSqlQuery insert(db);
  insert.prepare(
      QStringLiteral("INSERT INTO steps (batch, ordinal, state, source, before, after, changed_ms) "
                     "VALUES (?, ?, ?, ?, ?, ?, ?)"));
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const JournalStep& step = steps[i];
    for (const QVariant& value :
         {QVariant(id), QVariant(static_cast<int>(i)), QVariant(static_cast<int>(StepState::done)),
          QVariant(step.source), QVariant(step.before), QVariant(step.after), QVariant(now)})
      insert.addBindValue(value);
    if (!insert.exec()) return rollback(insert.lastError().databaseText());
  }
  if (const QString why = apply(db); !why.isEmpty()) return rollback(why);
  query.prepare(
      QStringLiteral("DELETE FROM steps WHERE batch <= ? AND batch NOT IN "
                     "(SELECT id FROM batches WHERE state = 'running')"));
  query.addBindValue(id - kBatchesKept);
  if (!query.exec()) return rollback(query.lastError().databaseText());
  query.prepare(QStringLiteral("DELETE FROM batches WHERE id <= ? AND state != 'running'"));
  query.addBindValue(id - kBatchesKept);
  if (!query.exec()) return rollback(query.lastError().databaseText());
  if (!query.exec(QStringLiteral("COMMIT"))) return rollback(query.lastError().databaseText());
  return id;
}

bool Journal::takeBack(qint64 batch, const Apply& apply) {
  if (!isOpen()) return false;
  QSqlDatabase db = database();
  QSqlQuery query(db);
  if (!query.exec(QStringLiteral("BEGIN IMMEDIATE"))) return fail(query.lastError().databaseText());
  const auto rollback = [&](const QString& why) {
    fail(why);
    QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    return false;
  };
  if (const QString why = apply(db); !why.isEmpty()) return rollback(why);
  query.prepare(
      QStringLiteral("UPDATE steps SET state = ?, changed_ms = ? WHERE batch = ? AND "
                     "state = ?"));
  const qint64 now = msOf(QDateTime::currentDateTime());
  for (const QVariant& value : {QVariant(static_cast<int>(StepState::undone)), QVariant(now),
                                QVariant(batch), QVariant(static_cast<int>(StepState::done))})
    query.addBindValue(value);
  if (!query.exec()) return rollback(query.lastError().databaseText());
  query.prepare(QStringLiteral("UPDATE batches SET state = 'undone', ended_ms = ? WHERE id = ?"));
  query.addBindValue(now);
  query.addBindValue(batch);
  if (!query.exec() || !query.exec(QStringLiteral("COMMIT")))
    return rollback(query.lastError().databaseText());
  return true;
}

bool Journal::end(qint64 batch, BatchState state) {
  if (!isOpen()) return false;
  QSqlQuery query(QSqlDatabase::database(m_connection, false));
  query.prepare(QStringLiteral("UPDATE batches SET state = ?, ended_ms = ? WHERE id = ?"));
  query.addBindValue(stateName(state));
  query.addBindValue(msOf(QDateTime::currentDateTime()));
  query.addBindValue(batch);
  return query.exec() || fail(query.lastError().databaseText());
}

std::vector<JournalBatch> Journal::batches() {
  std::vector<JournalBatch> found;
  if (!isOpen()) return found;
  QSqlQuery query(QSqlDatabase::database(m_connection, false));
  query.setForwardOnly(true);
  if (!query.exec(QStringLiteral("SELECT %1 FROM batches ORDER BY id DESC")
                      .arg(QLatin1String(kBatchColumns)))) {
    fail(query.lastError().databaseText());
    return found;
  }
  const QString boot = bootId();
  while (query.next()) {
    JournalBatch& batch = found.emplace_back();
    batch.id = query.value(0).toLongLong();
    for (BatchKind kind : kKinds)
      if (BatchKindName(kind) == query.value(1).toString()) batch.kind = kind;
    batch.program = query.value(2).toString();
    batch.options = query.value(3).toString();
    batch.started = QDateTime::fromMSecsSinceEpoch(query.value(4).toLongLong());
    if (!query.isNull(5)) batch.ended = QDateTime::fromMSecsSinceEpoch(query.value(5).toLongLong());
    const QString state = query.value(6).toString();
    batch.state = state == QLatin1String("undone")     ? BatchState::undone
                  : state == QLatin1String("finished") ? BatchState::finished
                                                       : BatchState::running;
    // A batch whose program is gone will not go on by itself.
    if (batch.state == BatchState::running &&
        (query.value(8).toString() != boot || !processAlive(query.value(7).toLongLong())))
      batch.state = BatchState::interrupted;
    batch.total = query.value(9).toInt();
    batch.done = query.value(10).toInt();
  }
  return found;
}

std::optional<JournalBatch> Journal::batch(qint64 id) {
  for (const JournalBatch& batch : batches())
    if (batch.id == id) return batch;
  return std::nullopt;
}

std::vector<JournalStep> Journal::steps(qint64 batch) {
  std::vector<JournalStep> found;
  if (!isOpen()) return found;
  QSqlQuery query(QSqlDatabase::database(m_connection, false));
  query.setForwardOnly(true);
  query.prepare(QStringLiteral(
      "SELECT ordinal, state, source, target, temporary, device, inode, size, mtime_ns, "
      "copy_inode, sha256, note, before, after FROM steps WHERE batch = ? ORDER BY ordinal"));
  query.addBindValue(batch);
  if (!query.exec()) {
    fail(query.lastError().databaseText());
    return found;
  }
  while (query.next()) {
    JournalStep& step = found.emplace_back();
    step.ordinal = query.value(0).toInt();
    step.state = static_cast<StepState>(query.value(1).toInt());
    step.source = query.value(2).toByteArray();
    step.target = query.value(3).toByteArray();
    step.temporary = query.value(4).toByteArray();
    step.device = static_cast<std::uint64_t>(query.value(5).toLongLong());
    step.inode = static_cast<std::uint64_t>(query.value(6).toLongLong());
    step.size = query.value(7).toLongLong();
    step.mtime_ns = query.value(8).toLongLong();
    step.copy_inode = static_cast<std::uint64_t>(query.value(9).toLongLong());
    step.sha256 = query.value(10).toByteArray();
    step.note = query.value(11).toString();
    step.before = query.value(12).toByteArray();
    step.after = query.value(13).toByteArray();
  }
  return found;
}

std::optional<JournalBatch> Journal::interrupted() {
  for (const JournalBatch& batch : batches())
    if (batch.state == BatchState::interrupted) return batch;
  return std::nullopt;
}

std::optional<JournalBatch> Journal::lastUndoable() {
  for (const JournalBatch& batch : batches()) {
    // One still running elsewhere is the last batch, and not to be undone under its feet.
    if (batch.state == BatchState::running) return std::nullopt;
    if (batch.state != BatchState::undone) return batch;
  }
  return std::nullopt;
}

}  // namespace myzor
