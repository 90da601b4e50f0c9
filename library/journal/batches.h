// File operations as journaled batches, and taking a batch back or finishing
// one that was cut short, from what the journal says and what the disk shows.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "library/files/file_operations.h"
#include "library/journal/journal.h"

namespace myzor {

struct BatchOutcome {
  std::vector<FileResult> results;
  qint64 batch = 0;
  // Nothing was done because the journal cannot be used; the journal's own
  // error, when it has one.
  bool refused = false;
  QString journal_error;
};

// Each is written to `journal` before its first file changes, every step is
// marked as it happens, and the batch is closed at the end. A journal that
// cannot be used refuses the batch.
[[nodiscard]] BatchOutcome JournaledRename(Journal& journal, const RenamePlan& plan);
// `kind` is copy or move.
[[nodiscard]] BatchOutcome JournaledCopy(Journal& journal, BatchKind kind,
                                         const std::vector<QByteArray>& paths,
                                         const QByteArray& folder,
                                         const CopyProgress& progress = {},
                                         ClashPolicy policy = ClashPolicy::keep_both);
[[nodiscard]] BatchOutcome JournaledTrash(Journal& journal, const std::vector<QByteArray>& paths);

// Takes the batch back, last step first: renamed and moved files to their old
// names, trashed ones out of the trash, copies removed while they are still
// byte-identical to their originals. A file that changed or moved since, or
// whose old name is taken, is left alone and named in the results; nothing is
// overwritten. For a batch cut short it first finds where each file is and
// removes a copy's hidden temporary file. Each result's `path` is where the
// file was and `new_path` where it is now.
[[nodiscard]] BatchOutcome UndoBatch(Journal& journal, qint64 batch);

// Completes a batch that was cut short: the steps not done are done now, the
// same way (a name taken meanwhile is numbered, or skipped where the batch
// skipped taken names).
[[nodiscard]] BatchOutcome FinishBatch(Journal& journal, qint64 batch);

}  // namespace myzor
