// The journal: what every batch of file operations set out to do and how far
// it got, kept across runs so that a batch can be taken back after a restart
// and one cut short by a crash or kill can be finished or undone.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace myzor {

// The file operations, and the edits of what the user knows: of replays
// (`notes`) and of player names (`players`).
enum class BatchKind { rename, move, copy, trash, notes, players };

// Whether the batch changed the user's data rather than files.
[[nodiscard]] inline bool IsEdit(BatchKind kind) {
  return kind == BatchKind::notes || kind == BatchKind::players;
}

// "rename", "move", "copy", "trash", "notes", "players": the name stored and printed.
[[nodiscard]] QString BatchKindName(BatchKind kind);

enum class StepState {
  planned,  // written before the file changes; not known to have happened
  done,
  failed,  // left alone: `note` says why (a taken name, an error, a cancel)
  undone,
  left,  // an undo or finish left it where it was: `note` says why
};

struct JournalStep {
  int ordinal = 0;  // the position in the batch, from 0
  StepState state = StepState::planned;
  QByteArray source;         // the file's path when the batch began (file-system bytes)
  QByteArray target;         // where the step puts it: the new name, the copy, the trash file
  QByteArray temporary;      // a copy's hidden file while it is written
  std::uint64_t device = 0;  // of the source
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t mtime_ns = 0;
  std::uint64_t copy_inode = 0;  // a copy's own file
  QByteArray sha256;             // of the bytes copied
  QString note;
  // An edit's data before and after it, as its editor writes them.
  QByteArray before;
  QByteArray after;
};

enum class BatchState { running, finished, interrupted, undone };

struct JournalBatch {
  qint64 id = 0;
  BatchKind kind = BatchKind::rename;
  QString program;  // which program ran it
  QString options;  // what the batch needs to be finished the same way ("skip" for a copy that
                    // skips taken names)
  QDateTime started;
  QDateTime ended;  // invalid while running or when it was cut short
  int total = 0;
  int done = 0;
  BatchState state = BatchState::running;
};

// "rename of 2000 replays, started 2026-12-07 13:40: 734 done", for reports.
[[nodiscard]] QString DescribeBatch(const JournalBatch& batch);

// One SQLite file (Qt SQL, QSQLITE) in WAL mode with synchronous=FULL: a step
// marked done stays done whatever happens to the process or the machine.
// The same file keeps what the user knows of replays and players (tables
// `replays` and `players`), so that an edit and its entry are written in
// one transaction, and a file renamed, moved, copied or trashed by a batch
// takes its data along in the transaction that marks its step.
// A damaged or unwritable journal is never run without: the object is not
// open, error() says why (a damaged one is set aside beside it and a new one
// made for the next try), and the caller refuses the operation. Only the last
// 100 batches are kept. Each object has its own connection and must be used
// on the thread that made it.
class Journal {
 public:
  explicit Journal(const QString& file = defaultFile(), int busy_timeout_ms = 5000);
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // "journal.sqlite" in the user's data folder ($XDG_DATA_HOME/myzor).
  [[nodiscard]] static QString defaultFile();

  [[nodiscard]] bool isOpen() const { return !m_connection.isEmpty(); }
  // What went wrong last, naming the journal's file.
  [[nodiscard]] QString error() const { return m_error; }

  // Writes the batch and all its steps in one transaction; the batch id, or
  // nothing when the journal could not take it.
  [[nodiscard]] std::optional<qint64> begin(BatchKind kind, const std::vector<JournalStep>& steps,
                                            const QString& options = {});
  // Writes one step's target, temporary file, copy, state and note.
  bool update(qint64 batch, const JournalStep& step);
  bool end(qint64 batch, BatchState state = BatchState::finished);

  // What `apply` writes, in one transaction with a finished batch of these
  // steps (each done): the edit and its entry, or neither. `apply` returns
  // what went wrong, or nothing.
  using Apply = std::function<QString(QSqlDatabase&)>;
  [[nodiscard]] std::optional<qint64> record(BatchKind kind, std::vector<JournalStep> steps,
                                             const Apply& apply);
  // Runs `apply` and marks the batch and its steps undone, in one transaction.
  bool takeBack(qint64 batch, const Apply& apply);
  // The connection, for the data kept beside the batches; on this object's
  // thread only.
  [[nodiscard]] QSqlDatabase database() const;
  [[nodiscard]] const QString& file() const { return m_file; }

  // Newest first.
  [[nodiscard]] std::vector<JournalBatch> batches();
  [[nodiscard]] std::optional<JournalBatch> batch(qint64 id);
  [[nodiscard]] std::vector<JournalStep> steps(qint64 batch);
  // The newest batch whose program ended before the batch did.
  [[nodiscard]] std::optional<JournalBatch> interrupted();
  // The newest batch not yet undone, of any kind; nothing while the newest
  // one is still running in some program.
  [[nodiscard]] std::optional<JournalBatch> lastUndoable();

 private:
  bool open(bool& damaged);
  void close();
  bool fail(const QString& what);
  // The data of the file of a step just marked `state` follows it.
  bool carry(qint64 batch, const JournalStep& step);

  QString m_file;
  QString m_connection;
  int m_busy_timeout_ms;
  QString m_error;
};

}  // namespace myzor
