// Renaming, copying, moving and trashing replay files without ever
// overwriting one. Paths are absolute, in the file system's own bytes.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "library/core/replay_row.h"
#include "library/files/rename_pattern.h"

namespace myzor {

// What happened to one file; a failure on one file never stops the others.
struct FileResult {
  QByteArray path;      // the file as it was given
  QByteArray new_path;  // where it is now (in the trash for a trashed file); empty when it failed
  bool ok = false;
  QString error;  // the system's reason when !ok ("Permission denied")
  bool skipped =
      false;  // left alone because its name was taken in the target folder; not a failure
};

// Renames `from` to `to` unless something already has that name: one atomic
// renameat2(RENAME_NOREPLACE), or link + unlink where the file system lacks
// it. Returns 0 or the errno (EEXIST when the name is taken).
[[nodiscard]] int RenameNoReplace(const QByteArray& from, const QByteArray& to);

// Where one step of a batch may leave its file, so that a journal can tell
// afterwards what happened even when the process was killed halfway.
struct StepNote {
  QByteArray target;             // the name it is given (for the trash: the file in the trash)
  QByteArray temporary;          // a copy's hidden file while it is written
  std::uint64_t copy_inode = 0;  // the copy, once complete
  QByteArray sha256;             // of the bytes copied
};

// Told of every step of a batch: before its file changes (again as it learns
// more) and once it has happened or failed. `index` is the step's position in
// the batch's list (the plan's files, or the paths given).
class OperationLog {
 public:
  virtual ~OperationLog() = default;
  // False stops the batch before this file changes: it and the rest are left alone.
  virtual bool before(std::size_t index, const StepNote& note) = 0;
  virtual void after(std::size_t index, const FileResult& result, const StepNote& note) = 0;
};

// --- Rename by pattern: plan (the preview), execute, undo.

enum class RenameState {
  ok,         // gets `new_name`
  unchanged,  // already has that name
  clash,      // the name was taken (on disk or in the batch): `new_name` has " (2)", " (3)", ...
  error,      // left alone; `reason` says why
};

struct PlannedRename {
  QByteArray old_path;
  QByteArray new_name;  // a file name in the same folder, UTF-8; empty for an error
  RenameState state = RenameState::error;
  QString reason;
  QString stem;  // the pattern's text for this file, to number it again if its name is taken later
  [[nodiscard]] QByteArray newPath() const;
};

struct RenamePlan {
  std::vector<PlannedRename> files;  // in the order of the rows
};

// Names every row by the pattern ({n} counts the rows from 1), makes each name
// safe and distinct from the files in the folder and from the rest of the
// batch. Changes nothing on disk. A row that could not be read is named only
// when the pattern needs none of its content.
[[nodiscard]] RenamePlan PlanRename(const std::vector<ReplayRow>& rows,
                                    const RenamePattern& pattern);

// Where each renamed file went, so that the batch can be put back.
struct RenameUndo {
  struct Step {
    QByteArray old_path;
    QByteArray new_path;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
  };
  std::vector<Step> steps;
  [[nodiscard]] bool empty() const { return steps.empty(); }
};

struct RenameOutcome {
  std::vector<FileResult> results;  // one per planned file that was ok or a clash
  RenameUndo undo;
};

// Carries out the ok and clash entries of a plan. A name taken since the plan
// was made gets the next free " (N)"; nothing is overwritten.
[[nodiscard]] RenameOutcome ExecuteRename(const RenamePlan& plan);
[[nodiscard]] RenameOutcome ExecuteRename(const RenamePlan& plan, OperationLog* log);

// Puts the files of a batch back under their old names, last first, each only
// while it is still the same file at the name the batch gave it and its old
// name is free.
[[nodiscard]] std::vector<FileResult> UndoRename(const RenameUndo& undo);

// --- Copy, move, trash.

// What a copy or move does with a file whose name is taken in the target
// folder; neither ever replaces the file that is there.
enum class ClashPolicy {
  keep_both,  // the newcomer gets " (2)", " (3)", ...
  skip,       // the file is left where it is and counted as skipped
};

// How many of `paths` have a name already taken in `folder` (files already in
// that folder do not count), so that the user can be asked once per batch.
[[nodiscard]] int CountClashes(const std::vector<QByteArray>& paths, const QByteArray& folder);

// Called as each file of a copy or move begins (`done` 0) and while it is
// copied, with the bytes done and the file's size; returning false cancels
// that file (nothing of a copy is left behind).
using CopyProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

// Copies each file into `folder` under its own name (" (2)" ... when taken):
// written under a temporary name in that folder, flushed to disk, its size
// checked, then renamed into place without replacing anything. The copy keeps
// the file's modification time and permissions. A copy that fails leaves no
// file behind. A full disk stops the batch: the files after it are left alone.
[[nodiscard]] std::vector<FileResult> CopyToFolder(const std::vector<QByteArray>& paths,
                                                   const QByteArray& folder,
                                                   const CopyProgress& progress = {},
                                                   ClashPolicy policy = ClashPolicy::keep_both,
                                                   OperationLog* log = nullptr);

// Moves each file into `folder`: a rename within one file system; across file
// systems a copy as above, after which the source is removed.
[[nodiscard]] std::vector<FileResult> MoveToFolder(const std::vector<QByteArray>& paths,
                                                   const QByteArray& folder,
                                                   const CopyProgress& progress = {},
                                                   ClashPolicy policy = ClashPolicy::keep_both,
                                                   OperationLog* log = nullptr);

// Moves each file to the desktop's trash, from where the file manager can
// restore it; `new_path` is then the file in the trash.
[[nodiscard]] std::vector<FileResult> MoveToTrash(const std::vector<QByteArray>& paths,
                                                  OperationLog* log = nullptr);

// The SHA-256 of a file's bytes, or empty when it cannot be read.
[[nodiscard]] QByteArray FileSha256(const QByteArray& path);

}  // namespace myzor
