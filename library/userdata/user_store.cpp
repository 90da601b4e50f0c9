#include "library/userdata/user_store.h"

#include <sys/stat.h>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>

#include "library/files/file_operations.h"
#include "library/search/fold.h"

namespace myzor {
namespace {

constexpr qint64 kDayMs = 24 * 60 * 60 * 1000;
constexpr const char* kColumns =
    "id, path, size, sha256, tags, rating, favourite, watched, note, gone_ms";

qint64 nowMs() { return QDateTime::currentMSecsSinceEpoch(); }

std::optional<std::int64_t> sizeOf(const QByteArray& path) {
  struct stat info {};
  if (::stat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return static_cast<std::int64_t>(info.st_size);
}

StoredReplay replayOf(const QSqlQuery& query) {
  StoredReplay replay;
  replay.id = query.value(0).toLongLong();
  replay.path = query.value(1).toByteArray();
  replay.size = query.value(2).toLongLong();
  replay.sha256 = query.value(3).toByteArray();
  const QString tags = query.value(4).toString();
  if (!tags.isEmpty()) replay.notes.tags = tags.split(u'\n');
  replay.notes.rating = query.value(5).toInt();
  replay.notes.favourite = query.value(6).toBool();
  replay.notes.watched = query.value(7).toBool();
  replay.notes.note = query.value(8).toString();
  if (!query.isNull(9)) replay.gone_ms = query.value(9).toLongLong();
  return replay;
}

// Runs `sql` with `values`; the database's complaint, or nothing.
QString run(QSqlDatabase& db, const QString& sql, const QVariantList& values,
            qint64* inserted = nullptr) {
  QSqlQuery query(db);
  query.prepare(sql);
  for (const QVariant& value : values) query.addBindValue(value);
  if (!query.exec()) return query.lastError().databaseText();
  if (inserted != nullptr) *inserted = query.lastInsertId().toLongLong();
  return {};
}

QString writeNotes(QSqlDatabase& db, qint64 id, const ReplayNotes& notes) {
  return run(db,
             QStringLiteral("UPDATE replays SET tags = ?, rating = ?, favourite = ?, watched = ?, "
                            "note = ? WHERE id = ?"),
             // A null text would be stored as NULL.
             {notes.tags.join(u'\n') + QLatin1String(""), notes.rating, notes.favourite ? 1 : 0,
              notes.watched ? 1 : 0, notes.note + QLatin1String(""), id});
}

QByteArray playerJson(const PlayerData& player) {
  QJsonObject object;
  object[QStringLiteral("person")] =
      player.person.isEmpty() ? QJsonValue() : QJsonValue(player.person);
  object[QStringLiteral("note")] = player.note;
  return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

PlayerData playerFromJson(const QString& name, const QByteArray& json) {
  const QJsonObject object = QJsonDocument::fromJson(json).object();
  return {name, object.value(QStringLiteral("person")).toString(),
          object.value(QStringLiteral("note")).toString()};
}

QString writePlayer(QSqlDatabase& db, const PlayerData& player) {
  if (player.person.isEmpty() && player.note.isEmpty())
    return run(db, QStringLiteral("DELETE FROM players WHERE name = ?"), {player.name});
  return run(
      db, QStringLiteral("INSERT OR REPLACE INTO players (name, person, note) VALUES (?, ?, ?)"),
      {player.name, player.person.isEmpty() ? QVariant() : QVariant(player.person), player.note});
}

}  // namespace

QString CleanTag(const QString& tag) {
  QString clean = tag.simplified();
  clean.remove(u',');
  return clean.trimmed();
}

QStringList SplitTags(const QString& text) {
  QStringList tags;
  for (const QString& part : text.split(u',')) {
    const QString tag = CleanTag(part);
    if (!tag.isEmpty() && !tags.contains(tag)) tags << tag;
  }
  return tags;
}

ReplayNotes NotesChange::appliedTo(ReplayNotes notes) const {
  if (replace) notes = *replace;
  for (const QString& tag : remove) {
    const QString folded = FoldForSearch(tag);
    notes.tags.removeIf([&](const QString& kept) { return FoldForSearch(kept) == folded; });
  }
  for (const QString& tag : add) {
    const QString clean = CleanTag(tag);
    if (clean.isEmpty()) continue;
    const QString folded = FoldForSearch(clean);
    if (std::none_of(notes.tags.cbegin(), notes.tags.cend(),
                     [&](const QString& kept) { return FoldForSearch(kept) == folded; }))
      notes.tags << clean;
  }
  if (rating) notes.rating = std::clamp(*rating, 0, 5);
  if (favourite) notes.favourite = *favourite;
  if (watched) notes.watched = *watched;
  if (note) notes.note = *note;
  return notes;
}

PersonOf PersonsOf(const std::vector<PlayerData>& players) {
  PersonOf persons;
  for (const PlayerData& player : players) {
    if (player.person.isEmpty()) continue;
    persons.insert(player.name, player.person);
    persons.insert(player.person, player.person);
  }
  return persons;
}

PersonNames SearchNamesOf(const PersonOf& persons) {
  QHash<QString, QStringList> names_of;  // person, folded, to names, folded
  for (auto it = persons.cbegin(); it != persons.cend(); ++it) {
    QStringList& names = names_of[FoldForSearch(it.value())];
    const QString name = FoldForSearch(it.key());
    if (!names.contains(name)) names << name;
  }
  PersonNames search;
  for (const QStringList& names : std::as_const(names_of))
    for (const QString& name : names) search.insert(name, names);
  return search;
}

UserStore::UserStore(const QString& file) : m_journal(file) {}

QByteArray UserStore::notesJson(const ReplayNotes& notes, qint64 id) {
  QJsonObject object;
  if (id != 0) object[QStringLiteral("id")] = id;
  object[QStringLiteral("tags")] = QJsonArray::fromStringList(notes.tags);
  object[QStringLiteral("rating")] = notes.rating;
  object[QStringLiteral("favourite")] = notes.favourite;
  object[QStringLiteral("watched")] = notes.watched;
  object[QStringLiteral("note")] = notes.note;
  return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

ReplayNotes UserStore::notesFromJson(const QByteArray& json, qint64* id) {
  const QJsonObject object = QJsonDocument::fromJson(json).object();
  ReplayNotes notes;
  for (const QJsonValue& tag : object.value(QStringLiteral("tags")).toArray()) {
    const QString clean = CleanTag(tag.toString());
    if (!clean.isEmpty() && !notes.tags.contains(clean)) notes.tags << clean;
  }
  notes.rating = std::clamp(object.value(QStringLiteral("rating")).toInt(), 0, 5);
  notes.favourite = object.value(QStringLiteral("favourite")).toBool();
  notes.watched = object.value(QStringLiteral("watched")).toBool();
  notes.note = object.value(QStringLiteral("note")).toString();
  if (id != nullptr) *id = object.value(QStringLiteral("id")).toInteger();
  return notes;
}

std::vector<StoredReplay> UserStore::select(const QString& where) {
  std::vector<StoredReplay> found;
  if (!isOpen()) return found;
  QSqlQuery query(m_journal.database());
  query.setForwardOnly(true);
  if (!query.exec(QStringLiteral("SELECT %1 FROM replays %2").arg(QLatin1String(kColumns), where)))
    return found;
  while (query.next()) found.push_back(replayOf(query));
  return found;
}

std::vector<StoredReplay> UserStore::replays() {
  std::vector<StoredReplay> found = select(QStringLiteral("WHERE gone_ms IS NULL"));
  std::erase_if(found, [](const StoredReplay& replay) { return replay.notes.isEmpty(); });
  return found;
}

std::vector<StoredReplay> UserStore::allReplays() { return select({}); }

QStringList UserStore::tags() {
  QSet<QString> seen;
  QStringList all;
  for (const StoredReplay& replay : select(QStringLiteral("WHERE tags != ''")))
    for (const QString& tag : replay.notes.tags)
      if (!seen.contains(FoldForSearch(tag))) {
        seen.insert(FoldForSearch(tag));
        all << tag;
      }
  all.sort(Qt::CaseInsensitive);
  return all;
}

std::optional<StoredReplay> UserStore::find(const FileEntry& file) {
  if (!isOpen()) return std::nullopt;
  QSqlQuery query(m_journal.database());
  query.prepare(QStringLiteral("SELECT %1 FROM replays WHERE path = ? AND gone_ms IS NULL")
                    .arg(QLatin1String(kColumns)));
  query.addBindValue(file.path);
  if (query.exec() && query.next()) return replayOf(query);
  if (relink({file}) == 0) return std::nullopt;
  query.addBindValue(file.path);
  if (query.exec() && query.next()) return replayOf(query);
  return std::nullopt;
}

std::optional<qint64> UserStore::edit(const std::vector<FileEntry>& files,
                                      const NotesChange& change) {
  if (!isOpen() || change.isEmpty()) return std::nullopt;
  // What each file holds now: one query for all.
  QHash<QByteArray, StoredReplay> held;
  for (StoredReplay& replay : select(QStringLiteral("WHERE gone_ms IS NULL")))
    held.insert(replay.path, std::move(replay));
  struct Planned {
    const FileEntry* file;
    qint64 id;  // 0: a row to make
    ReplayNotes after;
  };
  std::vector<Planned> planned;
  std::vector<JournalStep> steps;
  QSet<QByteArray> seen;
  for (const FileEntry& file : files) {
    if (seen.contains(file.path)) continue;
    seen.insert(file.path);
    const auto it = held.constFind(file.path);
    const ReplayNotes before = it == held.cend() ? ReplayNotes() : it->notes;
    ReplayNotes after = change.appliedTo(before);
    if (after == before) continue;
    JournalStep& step = steps.emplace_back();
    step.source = file.path;
    step.before = notesJson(before, it == held.cend() ? 0 : it->id);
    planned.push_back({&file, it == held.cend() ? 0 : it->id, std::move(after)});
  }
  if (steps.empty()) return std::nullopt;
  // The steps are written first and learn the ids of new rows as they are made.
  return m_journal.record(BatchKind::notes, steps, [&](QSqlDatabase& db) -> QString {
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO replays (path, size) VALUES (?, ?)"));
    QSqlQuery after(db);
    after.prepare(QStringLiteral(
        "UPDATE steps SET after = ? WHERE batch = (SELECT MAX(id) FROM batches) AND ordinal = ?"));
    for (std::size_t i = 0; i < planned.size(); ++i) {
      Planned& plan = planned[i];
      if (plan.id == 0) {
        insert.addBindValue(plan.file->path);
        insert.addBindValue(static_cast<qint64>(plan.file->size));
        if (!insert.exec()) return insert.lastError().databaseText();
        plan.id = insert.lastInsertId().toLongLong();
      }
      if (QString why = writeNotes(db, plan.id, plan.after); !why.isEmpty()) return why;
      after.addBindValue(notesJson(plan.after, plan.id));
      after.addBindValue(static_cast<int>(i));
      if (!after.exec()) return after.lastError().databaseText();
    }
    return {};
  });
}

std::vector<PlayerData> UserStore::players() {
  std::vector<PlayerData> found;
  if (!isOpen()) return found;
  QSqlQuery query(m_journal.database());
  query.setForwardOnly(true);
  if (!query.exec(QStringLiteral("SELECT name, person, note FROM players ORDER BY name")))
    return found;
  while (query.next())
    found.push_back(
        {query.value(0).toString(), query.value(1).toString(), query.value(2).toString()});
  return found;
}

namespace {

// The steps and the writes of a change to some players.
std::optional<qint64> recordPlayers(Journal& journal, const std::vector<PlayerData>& before,
                                    const std::vector<PlayerData>& after) {
  std::vector<JournalStep> steps;
  for (std::size_t i = 0; i < before.size(); ++i) {
    JournalStep& step = steps.emplace_back();
    step.source = before[i].name.toUtf8();
    step.before = playerJson(before[i]);
    step.after = playerJson(after[i]);
  }
  if (steps.empty()) return std::nullopt;
  return journal.record(BatchKind::players, std::move(steps), [&](QSqlDatabase& db) {
    for (const PlayerData& player : after)
      if (QString why = writePlayer(db, player); !why.isEmpty()) return why;
    return QString();
  });
}

}  // namespace

std::optional<qint64> UserStore::merge(const QStringList& names, const QString& person) {
  QHash<QString, PlayerData> known;
  for (PlayerData& player : players()) known.insert(player.name, std::move(player));
  std::vector<PlayerData> before;
  std::vector<PlayerData> after;
  QStringList all = names;
  // The persons the names are already, with all their names, come along.
  QSet<QString> persons;
  for (const QString& name : names) {
    persons.insert(name);
    if (known.contains(name) && !known[name].person.isEmpty()) persons.insert(known[name].person);
  }
  for (const PlayerData& player : std::as_const(known))
    if (!player.person.isEmpty() && persons.contains(player.person) && !all.contains(player.name))
      all << player.name;
  if (!all.contains(person)) all << person;
  for (const QString& name : all) {
    const PlayerData old = known.value(name, PlayerData{name, {}, {}});
    PlayerData now = old;
    now.person = person;
    if (old.person == now.person) continue;
    before.push_back(old);
    after.push_back(now);
  }
  return recordPlayers(m_journal, before, after);
}

std::optional<qint64> UserStore::split(const QString& person) {
  std::vector<PlayerData> before;
  std::vector<PlayerData> after;
  for (const PlayerData& player : players()) {
    if (player.person != person) continue;
    before.push_back(player);
    after.push_back({player.name, {}, player.note});
  }
  return recordPlayers(m_journal, before, after);
}

std::optional<qint64> UserStore::setPlayerNote(const QString& name, const QString& note) {
  PlayerData old{name, {}, {}};
  for (const PlayerData& player : players())
    if (player.name == name) old = player;
  if (old.note == note) return std::nullopt;
  PlayerData now = old;
  now.note = note;
  return recordPlayers(m_journal, {old}, {now});
}

BatchOutcome UserStore::undo(qint64 id) {
  const std::optional<JournalBatch> batch = m_journal.batch(id);
  if (!batch || !IsEdit(batch->kind)) return UndoBatch(m_journal, id);
  const std::vector<JournalStep> steps = m_journal.steps(id);
  BatchOutcome outcome;
  outcome.batch = id;
  std::vector<FileResult> results;
  const bool ok = m_journal.takeBack(id, [&](QSqlDatabase& db) -> QString {
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
      if (step->state != StepState::done) continue;
      if (batch->kind == BatchKind::players) {
        const QString name = QString::fromUtf8(step->source);
        if (QString why = writePlayer(db, playerFromJson(name, step->before)); !why.isEmpty())
          return why;
        results.push_back({step->source, step->source, true, {}});
        continue;
      }
      qint64 row = 0;
      const ReplayNotes after = notesFromJson(step->after, &row);
      const ReplayNotes before = notesFromJson(step->before);
      QSqlQuery query(db);
      query.prepare(QStringLiteral("SELECT %1 FROM replays WHERE id = ?").arg(kColumns));
      query.addBindValue(row);
      if (!query.exec()) return query.lastError().databaseText();
      if (!query.next()) {
        results.push_back({step->source, {}, false, QStringLiteral("left alone: its data went")});
        continue;
      }
      const StoredReplay now = replayOf(query);
      if (now.notes != after) {
        results.push_back(
            {now.path, {}, false, QStringLiteral("left alone: its data changed since")});
        continue;
      }
      if (QString why = writeNotes(db, row, before); !why.isEmpty()) return why;
      results.push_back({now.path, now.path, true, {}});
    }
    return {};
  });
  if (!ok) {
    outcome.refused = true;
    outcome.journal_error = m_journal.error();
    return outcome;
  }
  outcome.results = std::move(results);
  return outcome;
}

int UserStore::fillHashes(const std::atomic_bool* stop) {
  if (!isOpen()) return 0;
  int filled = 0;
  QSqlDatabase db = m_journal.database();
  for (const StoredReplay& replay : select(QStringLiteral("WHERE gone_ms IS NULL"))) {
    if (stop != nullptr && stop->load()) break;
    const std::optional<std::int64_t> size = sizeOf(replay.path);
    if (!size || (!replay.sha256.isEmpty() && *size == replay.size)) continue;
    const QByteArray sha = FileSha256(replay.path);
    if (sha.isEmpty()) continue;
    if (run(db, QStringLiteral("UPDATE replays SET size = ?, sha256 = ? WHERE id = ?"),
            {static_cast<qint64>(*size), sha, replay.id})
            .isEmpty())
      ++filled;
  }
  return filled;
}

int UserStore::relink(const std::vector<FileEntry>& arrived) {
  if (!isOpen() || arrived.empty()) return 0;
  // Rows waiting for a file: gone, or whose file is not where the row says.
  std::vector<StoredReplay> waiting = select(QStringLiteral("WHERE sha256 IS NOT NULL"));
  QSet<std::int64_t> sizes;
  for (const StoredReplay& replay : waiting) sizes.insert(replay.size);
  QSet<QByteArray> live;
  for (const StoredReplay& replay : waiting)
    if (!replay.gone_ms) live.insert(replay.path);
  int bound = 0;
  QSqlDatabase db = m_journal.database();
  for (const FileEntry& file : arrived) {
    if (!sizes.contains(file.size) || live.contains(file.path)) continue;
    QByteArray sha;
    for (StoredReplay& replay : waiting) {
      if (replay.id == 0 || replay.size != file.size) continue;
      if (!replay.gone_ms && sizeOf(replay.path)) continue;
      if (sha.isEmpty()) sha = FileSha256(file.path);
      if (sha != replay.sha256) continue;
      if (!run(db,
               QStringLiteral("UPDATE replays SET path = ?, gone_ms = NULL WHERE id = ? AND NOT "
                              "EXISTS (SELECT 1 FROM replays WHERE path = ? AND gone_ms IS NULL)"),
               {file.path, replay.id, file.path})
               .isEmpty())
        break;
      replay.id = 0;  // bound once
      live.insert(file.path);
      ++bound;
      break;
    }
  }
  return bound;
}

int UserStore::sweep(qint64 now_ms) {
  if (!isOpen()) return 0;
  QSqlDatabase db = m_journal.database();
  for (const StoredReplay& replay : select(QStringLiteral("WHERE gone_ms IS NULL")))
    if (!sizeOf(replay.path))
      (void)run(db, QStringLiteral("UPDATE replays SET gone_ms = ? WHERE id = ?"),
                {now_ms, replay.id});
  QSqlQuery query(db);
  query.prepare(QStringLiteral("DELETE FROM replays WHERE gone_ms IS NOT NULL AND gone_ms < ?"));
  query.addBindValue(now_ms - kGoneDaysKept * kDayMs);
  if (!query.exec()) return 0;
  return query.numRowsAffected();
}

std::optional<qint64> UserStore::import(const std::vector<Imported>& replays,
                                        const std::vector<PlayerData>& players) {
  if (!isOpen()) return std::nullopt;
  QHash<QByteArray, StoredReplay> by_sha;
  QHash<QByteArray, StoredReplay> by_path;
  for (StoredReplay& replay : select(QStringLiteral("WHERE gone_ms IS NULL"))) {
    if (!replay.sha256.isEmpty()) by_sha.insert(replay.sha256, replay);
    by_path.insert(replay.path, std::move(replay));
  }
  std::vector<JournalStep> steps;
  struct Planned {
    const Imported* item;
    qint64 id;
  };
  std::vector<Planned> planned;
  for (const Imported& item : replays) {
    const StoredReplay* known = nullptr;
    if (!item.sha256.isEmpty() && by_sha.contains(item.sha256))
      known = &by_sha[item.sha256];
    else if (item.sha256.isEmpty() && by_path.contains(item.path))
      known = &by_path[item.path];
    if (known != nullptr && known->notes == item.notes) continue;
    JournalStep& step = steps.emplace_back();
    step.source = known != nullptr ? known->path : item.path;
    step.before = notesJson(known != nullptr ? known->notes : ReplayNotes(),
                            known != nullptr ? known->id : 0);
    planned.push_back({&item, known != nullptr ? known->id : 0});
  }
  QHash<QString, PlayerData> known_players;
  for (PlayerData& player : this->players()) known_players.insert(player.name, std::move(player));
  std::vector<PlayerData> players_after;
  for (const PlayerData& player : players) {
    const PlayerData old = known_players.value(player.name, PlayerData{player.name, {}, {}});
    if (old.person == player.person && old.note == player.note) continue;
    players_after.push_back(player);
  }
  if (steps.empty() && players_after.empty()) return std::nullopt;
  const qint64 now = nowMs();
  const std::optional<qint64> batch =
      m_journal.record(BatchKind::notes, steps, [&](QSqlDatabase& db) -> QString {
        QSqlQuery after(db);
        after.prepare(
            QStringLiteral("UPDATE steps SET after = ? WHERE batch = (SELECT MAX(id) FROM "
                           "batches) AND ordinal = ?"));
        for (std::size_t i = 0; i < planned.size(); ++i) {
          Planned& plan = planned[i];
          if (plan.id == 0) {
            // Waits, as gone, for its file to be found by its content.
            const bool here = !plan.item->path.isEmpty() && !by_path.contains(plan.item->path) &&
                              sizeOf(plan.item->path) == plan.item->size &&
                              FileSha256(plan.item->path) == plan.item->sha256;
            if (QString why = run(db,
                                  QStringLiteral("INSERT INTO replays (path, size, sha256, "
                                                 "gone_ms) VALUES (?, ?, ?, ?)"),
                                  {plan.item->path, static_cast<qint64>(plan.item->size),
                                   plan.item->sha256.isEmpty() ? QVariant() : plan.item->sha256,
                                   here ? QVariant() : QVariant(now)},
                                  &plan.id);
                !why.isEmpty())
              return why;
          }
          if (QString why = writeNotes(db, plan.id, plan.item->notes); !why.isEmpty()) return why;
          after.addBindValue(notesJson(plan.item->notes, plan.id));
          after.addBindValue(static_cast<int>(i));
          if (!after.exec()) return after.lastError().databaseText();
        }
        for (const PlayerData& player : players_after)
          if (QString why = writePlayer(db, player); !why.isEmpty()) return why;
        return {};
      });
  return batch;
}

}  // namespace myzor
