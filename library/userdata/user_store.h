// What the user knows of replays (tags, rating, marks, a note) and of
// players (one person under several names, a note), kept in the user's data
// folder beside the journal. A replay's data is bound to its path and, once
// hashed, to its content: a file renamed or moved by another program is
// found again by its size and SHA-256. Every edit is one journaled batch.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "library/core/replay_row.h"
#include "library/journal/batches.h"
#include "library/journal/journal.h"
#include "library/search/query.h"

namespace myzor {

// A replay's data as the store keeps it.
struct StoredReplay {
  qint64 id = 0;
  QByteArray path;
  std::int64_t size = 0;
  QByteArray sha256;  // empty until hashed
  ReplayNotes notes;
  std::optional<qint64> gone_ms;  // when its file was found gone
};

// One edit of many replays: tags added and taken away, and the values set.
struct NotesChange {
  QStringList add;
  QStringList remove;
  std::optional<int> rating;
  std::optional<bool> favourite;
  std::optional<bool> watched;
  std::optional<QString> note;
  // The whole data, for the details pane's edit of one replay and imports.
  std::optional<ReplayNotes> replace;

  [[nodiscard]] bool isEmpty() const {
    return add.isEmpty() && remove.isEmpty() && !rating && !favourite && !watched && !note &&
           !replace;
  }
  [[nodiscard]] ReplayNotes appliedTo(ReplayNotes notes) const;
};

// A tag as kept: blanks at the ends dropped, inner runs of blanks made one;
// a comma parts tags, so none holds one.
[[nodiscard]] QString CleanTag(const QString& tag);
// "review, to study" as tags.
[[nodiscard]] QStringList SplitTags(const QString& text);

struct PlayerData {
  QString name;
  QString person;  // empty: the name is a person of its own
  QString note;
};

// Names to the person they are; names of no one else are not in it.
using PersonOf = QHash<QString, QString>;
[[nodiscard]] PersonOf PersonsOf(const std::vector<PlayerData>& players);
// For the search: each name of a person, folded, to all their names, folded.
[[nodiscard]] PersonNames SearchNamesOf(const PersonOf& persons);

// Days a replay whose file went keeps its data, waiting to be found again.
inline constexpr int kGoneDaysKept = 30;

// Each object has its own connection (through its Journal) and is used on
// the thread that made it.
class UserStore {
 public:
  explicit UserStore(const QString& file = Journal::defaultFile());

  [[nodiscard]] bool isOpen() const { return m_journal.isOpen(); }
  [[nodiscard]] QString error() const { return m_journal.error(); }
  [[nodiscard]] Journal& journal() { return m_journal; }

  // The replays whose files are there (as last seen) and carry data.
  [[nodiscard]] std::vector<StoredReplay> replays();
  // Also those whose files went.
  [[nodiscard]] std::vector<StoredReplay> allReplays();
  // The data of the file at `path`; when there is none, a replay whose file
  // went with the same size and SHA-256 is bound to `path` first.
  [[nodiscard]] std::optional<StoredReplay> find(const FileEntry& file);
  // Every tag in use, in order.
  [[nodiscard]] QStringList tags();

  // One journaled batch, or nothing when no file changed (or the store
  // refused; then error() says why). Files that get data for the first time
  // are hashed later (fillHashes).
  [[nodiscard]] std::optional<qint64> edit(const std::vector<FileEntry>& files,
                                           const NotesChange& change);

  [[nodiscard]] std::vector<PlayerData> players();
  // `names` become one person, named `person` (one of them).
  [[nodiscard]] std::optional<qint64> merge(const QStringList& names, const QString& person);
  // The names of `person` are people of their own again.
  [[nodiscard]] std::optional<qint64> split(const QString& person);
  [[nodiscard]] std::optional<qint64> setPlayerNote(const QString& name, const QString& note);

  // Takes back an edit batch: each replay or player that still holds what
  // the edit gave it gets what it held before; the others are named in the
  // results and left. File batches go to UndoBatch.
  [[nodiscard]] BatchOutcome undo(qint64 batch);

  // Upkeep, not journaled. Hashes the replays not hashed yet, and those whose
  // size changed; how many.
  int fillHashes(const std::atomic_bool* stop = nullptr);
  // Binds the data of replays whose files went to the files that arrived
  // with the same size and SHA-256; how many.
  int relink(const std::vector<FileEntry>& arrived);
  // Marks the replays whose files are not there as gone and forgets those
  // gone for longer than kGoneDaysKept; how many were forgotten.
  int sweep(qint64 now_ms);

  // What a replay's data holds as the store writes it; in the journal's
  // steps and the export.
  [[nodiscard]] static QByteArray notesJson(const ReplayNotes& notes, qint64 id = 0);
  [[nodiscard]] static ReplayNotes notesFromJson(const QByteArray& json, qint64* id = nullptr);

  // Rows as imported: data of a replay by its SHA-256 (or, without, by path).
  struct Imported {
    QByteArray sha256;
    QByteArray path;
    std::int64_t size = 0;
    ReplayNotes notes;
  };
  // Writes them as one journaled batch: a replay found by SHA-256 among the
  // stored ones takes the data; an unknown one is kept by its hash, waiting
  // for its file (which `find` binds). Players alike.
  [[nodiscard]] std::optional<qint64> import(const std::vector<Imported>& replays,
                                             const std::vector<PlayerData>& players);

 private:
  [[nodiscard]] std::vector<StoredReplay> select(const QString& where);

  Journal m_journal;
};

}  // namespace myzor
