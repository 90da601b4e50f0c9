// The index: what the library has read, kept between runs so that a file
// that has not changed is not read again.
#pragma once

#include <QByteArray>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <functional>
#include <vector>

#include "library/core/replay_row.h"

namespace myzor {

// One SQLite database (Qt SQL, QSQLITE). It is a cache: a damaged index
// (found at open or later) is set aside and rebuilt, and another version's
// index is rebuilt; whatever else goes wrong (a folder that cannot be made or
// written, a full disk, a lock held too long by another running copy), the
// object stops being used and the caller reads the replay files instead.
// Either way `takeStatus` says so once. It never touches a replay file.
//
// Threads: a Qt SQL connection belongs to the thread that made it, so every
// call on an object must come from the thread that constructed it. Each
// object has its own connection; two objects (in two threads or two
// processes) may share one file.
// What the user should be told about the index itself; the window makes the words.
struct IndexStatus {
  enum class Kind {
    none,
    rebuilt,           // it was damaged: set aside as `path` and made anew
    rebuilt_upgraded,  // another version made it, so it was made anew
    unusable,          // replays are read from the files: `reason` says why
  };
  enum class Reason {
    none,
    no_cache_folder,
    folder_not_made,       // `path` is the folder
    held_by_another_copy,  // `path` is the index file
    folder_not_writable,   // `path` is the folder
    cannot_set_aside,      // `path` is the damaged index file
    database,              // `path` is the index file, `detail` SQLite's own words
  };
  Kind kind = Kind::none;
  Reason reason = Reason::none;
  QString path;  // in the platform's separators
  QString detail;
  [[nodiscard]] bool isNone() const { return kind == Kind::none; }
};

class ReplayIndex {
 public:
  // Opens the index at `file`, making it (and its folder) when missing. A
  // damaged index is set aside beside it as "<file>.damaged-<date-time>" and a
  // new one made. A write waits up to `busy_timeout_ms` for another copy of
  // the program to finish its own. Never throws.
  explicit ReplayIndex(const QString& file = defaultFile(), int busy_timeout_ms = 5000);
  ~ReplayIndex();
  ReplayIndex(const ReplayIndex&) = delete;
  ReplayIndex& operator=(const ReplayIndex&) = delete;

  // "index.sqlite" in the user's cache folder; empty when there is none.
  [[nodiscard]] static QString defaultFile();

  // False once the index cannot be used; every call then does nothing.
  [[nodiscard]] bool isUsed() const { return m_used; }

  // What the user should be told about the index, once; none when nothing.
  [[nodiscard]] IndexStatus takeStatus();

  // The rows of every file at or below `folder` (absolute, file-system
  // bytes), `relative_path` taken from `folder`.
  [[nodiscard]] std::vector<ReplayRow> rowsUnder(const QByteArray& folder);
  // The same rows handed to `take` in order of path, up to `chunk` at a
  // time as they are read, so that the first can be shown while the rest
  // are read; the read ends early when `take` returns false. False when the
  // index failed midway (the rows handed over are sound, the others were
  // not read) or is not used.
  bool rowsUnder(const QByteArray& folder, std::size_t chunk,
                 const std::function<bool(std::vector<ReplayRow>)>& take);
  // How many rows `rowsUnder` has.
  [[nodiscard]] qint64 countUnder(const QByteArray& folder);

  // Adds or replaces the rows, by path, in one transaction; false when the
  // index could not take them (the index is then no longer used).
  bool store(const std::vector<ReplayRow>& rows);
  bool remove(const std::vector<QByteArray>& paths);

 private:
  enum class Opened { ok, damaged, failed };
  Opened openConnection();
  void closeConnection();
  void rebuild();
  void fail(const QSqlError& error);
  void stopUsing(IndexStatus::Reason reason, const QString& path = {}, const QString& detail = {});
  void stopUsing(const IndexStatus& problem);
  bool write(const std::function<QSqlError(QSqlDatabase&)>& work, bool again = true);

  QString m_file;
  QString m_connection;
  int m_busy_timeout_ms;
  bool m_used = false;
  bool m_stopped = false;
  IndexStatus m_status;
};

}  // namespace myzor
