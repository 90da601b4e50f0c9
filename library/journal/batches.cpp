#include "library/journal/batches.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

#include "library/core/paths.h"

namespace myzor {
namespace {

QString shown(const QByteArray& path) { return DisplayName(path); }

// Writes each step to the journal as the file operations report it.
class JournalLog : public OperationLog {
 public:
  JournalLog(Journal& journal, qint64 batch, std::vector<JournalStep>& steps,
             std::vector<std::size_t> positions)
      : m_journal(journal), m_batch(batch), m_steps(steps), m_positions(std::move(positions)) {}

  bool before(std::size_t index, const StepNote& note) override {
    return m_journal.update(m_batch, noted(index, note));
  }
  void after(std::size_t index, const FileResult& result, const StepNote& note) override {
    JournalStep& step = noted(index, note);
    step.state = result.ok ? StepState::done : StepState::failed;
    step.note = result.error;
    if (result.ok) step.target = result.new_path;
    m_journal.update(m_batch, step);
  }

 private:
  JournalStep& noted(std::size_t index, const StepNote& note) {
    JournalStep& step = m_steps[m_positions.at(index)];
    step.target = note.target;
    step.temporary = note.temporary;
    step.copy_inode = note.copy_inode;
    step.sha256 = note.sha256;
    return step;
  }

  Journal& m_journal;
  qint64 m_batch;
  std::vector<JournalStep>& m_steps;
  std::vector<std::size_t> m_positions;  // per index of the operation, the step
};

JournalStep stepFor(int ordinal, const QByteArray& path) {
  JournalStep step;
  step.ordinal = ordinal;
  step.source = path;
  struct stat info {};
  if (::lstat(path.constData(), &info) == 0) {
    step.device = static_cast<std::uint64_t>(info.st_dev);
    step.inode = static_cast<std::uint64_t>(info.st_ino);
    step.size = info.st_size;
    step.mtime_ns =
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
  }
  return step;
}

BatchOutcome refusal(const Journal& journal) {
  BatchOutcome outcome;
  outcome.refused = true;
  outcome.journal_error = journal.error();
  return outcome;
}

std::vector<std::size_t> identity(std::size_t count) {
  std::vector<std::size_t> positions(count);
  for (std::size_t i = 0; i < count; ++i) positions[i] = i;
  return positions;
}

// Runs `work` on steps made from `paths` as one journaled batch.
// `folder` is where the files go, empty for the trash.
template <typename Work>
BatchOutcome journaled(Journal& journal, BatchKind kind, const std::vector<QByteArray>& paths,
                       const QString& options, const QByteArray& folder, Work work) {
  std::vector<JournalStep> steps;
  for (const QByteArray& path : paths) {
    steps.push_back(stepFor(static_cast<int>(steps.size()), path));
    if (!folder.isEmpty()) steps.back().target = folder + '/' + NameOf(path);
  }
  const std::optional<qint64> batch = journal.begin(kind, steps, options);
  if (!batch) return refusal(journal);
  BatchOutcome outcome;
  outcome.batch = *batch;
  JournalLog log(journal, *batch, steps, identity(steps.size()));
  outcome.results = work(&log);
  journal.end(*batch);
  return outcome;
}

std::optional<struct stat> statOf(const QByteArray& path) {
  struct stat info {};
  if (path.isEmpty() || ::lstat(path.constData(), &info) != 0) return std::nullopt;
  return info;
}

bool isFile(const QByteArray& path, std::uint64_t device, std::uint64_t inode) {
  const auto info = statOf(path);
  return info && inode != 0 && static_cast<std::uint64_t>(info->st_ino) == inode &&
         (device == 0 || static_cast<std::uint64_t>(info->st_dev) == device);
}

// The file with this inode in `folder`, by its bytes: found when a step was
// cut short after it had picked another name than the one journaled.
QByteArray findIn(const QByteArray& folder, std::uint64_t device, std::uint64_t inode) {
  if (inode == 0) return {};
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.constData()), ::closedir);
  if (!dir) return {};
  while (const dirent* entry = ::readdir(dir.get())) {
    if (entry->d_ino != inode) continue;
    const QByteArray path = folder + '/' + QByteArray(entry->d_name);
    if (isFile(path, device, inode)) return path;
  }
  return {};
}

// Where the step's own file (the one renamed, moved or trashed) is now.
QByteArray locate(BatchKind kind, const JournalStep& step) {
  if (isFile(step.target, step.device, step.inode)) return step.target;
  if (kind == BatchKind::trash) {
    const QByteArray trash =
        QFile::encodeName(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)) +
        "/Trash/files";
    return findIn(step.target.isEmpty() ? trash : FolderOf(step.target), step.device, step.inode);
  }
  return step.target.isEmpty() ? QByteArray()
                               : findIn(FolderOf(step.target), step.device, step.inode);
}

// A copy the step made, complete and in place.
QByteArray locateCopy(const JournalStep& step) {
  if (step.copy_inode == 0) return {};
  if (isFile(step.target, 0, step.copy_inode)) return step.target;
  return findIn(FolderOf(step.target), 0, step.copy_inode);
}

bool sameBytes(const QByteArray& path, const JournalStep& step) {
  const auto info = statOf(path);
  return info && info->st_size == step.size && FileSha256(path) == step.sha256;
}

void removeTemporary(const JournalStep& step) {
  if (!step.temporary.isEmpty() && step.temporary != step.target)
    ::unlink(step.temporary.constData());
}

FileResult result(const QByteArray& path, const QByteArray& now, const QString& error = {}) {
  return {path, now, error.isEmpty(), error};
}

QString reasonFor(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

FileResult renameBack(const QByteArray& from, const QByteArray& to) {
  const int error = RenameNoReplace(from, to);
  if (error == EEXIST)
    return result(from, {},
                  QStringLiteral("left alone: its old name %1 is taken").arg(shown(NameOf(to))));
  return error == 0 ? result(from, to) : result(from, {}, reasonFor(error));
}

// The undo of one step; nothing when the step changed nothing.
std::optional<FileResult> undoStep(BatchKind kind, const JournalStep& step) {
  removeTemporary(step);
  if (step.state == StepState::failed || step.state == StepState::undone) return std::nullopt;
  const bool source_there = isFile(step.source, step.device, step.inode);
  if (kind == BatchKind::copy || (kind == BatchKind::move && step.copy_inode != 0)) {
    const QByteArray copy = locateCopy(step);
    if (copy.isEmpty()) {
      if (source_there || step.state == StepState::planned) return std::nullopt;
      return result(step.target, {}, QStringLiteral("left alone: no longer where it was put"));
    }
    if (!sameBytes(copy, step))
      return result(copy, {}, QStringLiteral("left alone: it has changed since"));
    if (kind == BatchKind::copy || source_there) {
      // A copy goes only while its original is still there with the same bytes.
      if (!sameBytes(step.source, step))
        return result(copy, {}, QStringLiteral("left alone: its original has changed or gone"));
      if (::unlink(copy.constData()) != 0) return result(copy, {}, reasonFor(errno));
      return result(copy, {});
    }
    std::vector<FileResult> back =
        MoveToFolder({copy}, FolderOf(step.source), {}, ClashPolicy::skip);
    FileResult& moved = back.front();
    if (moved.skipped)
      return result(
          copy, {},
          QStringLiteral("left alone: its old name %1 is taken").arg(shown(NameOf(step.source))));
    if (moved.ok && moved.new_path != step.source &&
        RenameNoReplace(moved.new_path, step.source) == 0)
      moved.new_path = step.source;
    return moved;
  }
  const QByteArray now = locate(kind, step);
  // Cut short inside a link-and-unlink rename: one file under both names.
  if (source_there && !now.isEmpty() && now != step.source) ::unlink(now.constData());
  if (source_there) return std::nullopt;
  if (now.isEmpty())
    return result(step.target.isEmpty() ? step.source : step.target, {},
                  kind == BatchKind::trash
                      ? QStringLiteral("left alone: no longer in the trash")
                      : QStringLiteral("left alone: no longer where it was put"));
  const auto info = statOf(now);
  const std::int64_t mtime =
      static_cast<std::int64_t>(info->st_mtim.tv_sec) * 1'000'000'000 + info->st_mtim.tv_nsec;
  if (info->st_size != step.size || mtime != step.mtime_ns)
    return result(now, {}, QStringLiteral("left alone: it has changed since"));
  FileResult back = renameBack(now, step.source);
  if (back.ok && kind == BatchKind::trash) {
    const QByteArray info_file = FolderOf(FolderOf(now)) + "/info/" + NameOf(now) + ".trashinfo";
    ::unlink(info_file.constData());
  }
  return back;
}

// Writes what became of a step and reports it.
void settle(Journal& journal, qint64 batch, JournalStep& step, StepState state,
            const FileResult& done, BatchOutcome& outcome) {
  step.state = state;
  step.note = done.error;
  journal.update(batch, step);
  outcome.results.push_back(done);
}

}  // namespace

BatchOutcome JournaledRename(Journal& journal, const RenamePlan& plan) {
  std::vector<JournalStep> steps;
  std::vector<std::size_t> positions(plan.files.size(), 0);
  for (std::size_t i = 0; i < plan.files.size(); ++i) {
    const PlannedRename& file = plan.files[i];
    if (file.state != RenameState::ok && file.state != RenameState::clash) continue;
    positions[i] = steps.size();
    steps.push_back(stepFor(static_cast<int>(steps.size()), file.old_path));
    steps.back().target = file.newPath();
  }
  const std::optional<qint64> batch = journal.begin(BatchKind::rename, steps);
  if (!batch) return refusal(journal);
  BatchOutcome outcome;
  outcome.batch = *batch;
  JournalLog log(journal, *batch, steps, std::move(positions));
  outcome.results = ExecuteRename(plan, &log).results;
  journal.end(*batch);
  return outcome;
}

BatchOutcome JournaledCopy(Journal& journal, BatchKind kind, const std::vector<QByteArray>& paths,
                           const QByteArray& folder, const CopyProgress& progress,
                           ClashPolicy policy) {
  const QString options = policy == ClashPolicy::skip ? QStringLiteral("skip") : QString();
  return journaled(journal, kind, paths, options, folder, [&](OperationLog* log) {
    return kind == BatchKind::move ? MoveToFolder(paths, folder, progress, policy, log)
                                   : CopyToFolder(paths, folder, progress, policy, log);
  });
}

BatchOutcome JournaledTrash(Journal& journal, const std::vector<QByteArray>& paths) {
  return journaled(journal, BatchKind::trash, paths, {}, {},
                   [&](OperationLog* log) { return MoveToTrash(paths, log); });
}

BatchOutcome UndoBatch(Journal& journal, qint64 id) {
  const std::optional<JournalBatch> batch = journal.batch(id);
  std::vector<JournalStep> steps = journal.steps(id);
  if (!batch || !journal.error().isEmpty()) return refusal(journal);
  BatchOutcome outcome;
  outcome.batch = id;
  for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
    const std::optional<FileResult> undone = undoStep(batch->kind, *step);
    if (undone)
      settle(journal, id, *step, undone->ok ? StepState::undone : StepState::left, *undone,
             outcome);
  }
  journal.end(id, BatchState::undone);
  return outcome;
}

BatchOutcome FinishBatch(Journal& journal, qint64 id) {
  const std::optional<JournalBatch> batch = journal.batch(id);
  std::vector<JournalStep> steps = journal.steps(id);
  if (!batch || !journal.error().isEmpty()) return refusal(journal);
  BatchOutcome outcome;
  outcome.batch = id;
  const BatchKind kind = batch->kind;
  std::vector<QByteArray> again;  // sources to do now
  RenamePlan plan;
  std::vector<std::size_t> positions;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    JournalStep& step = steps[i];
    if (step.state != StepState::planned) continue;
    removeTemporary(step);
    bool source_there = isFile(step.source, step.device, step.inode);
    QByteArray now =
        kind == BatchKind::copy || step.copy_inode != 0 ? locateCopy(step) : locate(kind, step);
    // Cut short inside a link-and-unlink rename: one file under both names.
    if (source_there && !now.isEmpty() && now != step.source && kind != BatchKind::copy &&
        step.copy_inode == 0) {
      ::unlink(step.source.constData());
      source_there = false;
    }
    // A move cut short between its copy and the removal of its original.
    if (kind == BatchKind::move && !now.isEmpty() && source_there && step.copy_inode != 0) {
      if (!sameBytes(now, step) || ::unlink(step.source.constData()) != 0) {
        const QString why =
            QStringLiteral("left alone: both the original and its copy %1 are there")
                .arg(shown(now));
        settle(journal, id, step, StepState::left, result(step.source, {}, why), outcome);
        continue;
      }
    }
    if (!now.isEmpty() && (kind == BatchKind::copy || !source_there || step.copy_inode != 0)) {
      step.target = now;
      settle(journal, id, step, StepState::done, result(step.source, now), outcome);
      continue;
    }
    if (!source_there) {
      const QString why =
          QStringLiteral("left alone: found neither at its old name nor at its new one");
      settle(journal, id, step, StepState::left, result(step.source, {}, why), outcome);
      continue;
    }
    positions.push_back(i);
    if (kind == BatchKind::rename) {
      PlannedRename& file = plan.files.emplace_back();
      file.old_path = step.source;
      file.new_name = NameOf(step.target);
      file.stem = FileStem(step.target);
      file.state = RenameState::ok;
    } else {
      again.push_back(step.source);
    }
  }
  JournalLog log(journal, id, steps, positions);
  const ClashPolicy policy =
      batch->options == QLatin1String("skip") ? ClashPolicy::skip : ClashPolicy::keep_both;
  const QByteArray folder =
      positions.empty() ? QByteArray() : FolderOf(steps[positions.front()].target);
  std::vector<FileResult> done;
  if (kind == BatchKind::rename)
    done = ExecuteRename(plan, &log).results;
  else if (kind == BatchKind::trash)
    done = MoveToTrash(again, &log);
  else if (!again.empty())
    done = kind == BatchKind::move ? MoveToFolder(again, folder, {}, policy, &log)
                                   : CopyToFolder(again, folder, {}, policy, &log);
  outcome.results.insert(outcome.results.end(), done.begin(), done.end());
  journal.end(id);
  return outcome;
}

}  // namespace myzor
