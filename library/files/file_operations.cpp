#include "library/files/file_operations.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "library/core/paths.h"

namespace myzor {
namespace {

// Enough for any batch; a folder holding this many copies of one name is
// reported rather than searched forever.
constexpr int kMaxSuffix = 100'000;

QString reasonFor(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// SHA-256 by libcrypto, which uses the processor's own SHA instructions
// where it has them: files are hashed about as fast as they are read.
class Sha256 {
 public:
  Sha256() : m_context((startLibcrypto(), EVP_MD_CTX_new())) {
    m_ok = m_context != nullptr && EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr) == 1;
  }
  void add(const char* bytes, std::size_t size) {
    m_ok = m_ok && EVP_DigestUpdate(m_context.get(), bytes, size) == 1;
  }
  // The 32 bytes of the hash; empty where libcrypto failed.
  QByteArray result() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!m_ok || EVP_DigestFinal_ex(m_context.get(), digest, &length) != 1) return {};
    return QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(length));
  }

 private:
  // Files are hashed on pool threads that outlive main(). Were libcrypto
  // torn down at exit, as it is by default, a pool thread that ends after
  // it would leave its per-thread state behind; so it is left standing, and
  // each thread frees its own when it ends.
  static void startLibcrypto() {
    static const bool started = OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr) == 1;
    (void)started;
  }
  struct Free {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  };
  std::unique_ptr<EVP_MD_CTX, Free> m_context;
  bool m_ok = false;
};

bool exists(const QByteArray& path) {
  struct stat info {};
  // Anything but "no such file" counts as taken: never guess a name is free.
  return ::lstat(path.constData(), &info) == 0 || errno != ENOENT;
}

// "name (2).rec" from "name.rec", keeping the name's own bytes.
QByteArray numbered(const QByteArray& name, int suffix) {
  if (suffix < 2) return name;
  const QByteArray mark = " (" + QByteArray::number(suffix) + ")";
  return IsReplayFileName(name) ? name.left(name.size() - 4) + mark + name.right(4) : name + mark;
}

FileResult failed(const QByteArray& path, const QString& reason) {
  return {path, {}, false, reason};
}

FileResult succeeded(const QByteArray& path, const QByteArray& new_path) {
  return {path, new_path, true, {}};
}

// Renames `from` into `folder` under `name`, or the first free " (N)" of it.
// Returns 0 or the errno; `placed` gets the path it now has.
int placeInto(const QByteArray& from, const QByteArray& folder, const QByteArray& name,
              QByteArray& placed, ClashPolicy policy = ClashPolicy::keep_both) {
  const int last = policy == ClashPolicy::skip ? 1 : kMaxSuffix;
  for (int suffix = 1; suffix <= last; ++suffix) {
    placed = JoinPath(folder, numbered(name, suffix));
    const int error = RenameNoReplace(from, placed);
    if (error != EEXIST) return error;
  }
  return EEXIST;
}

bool sameFile(const QByteArray& a, const QByteArray& b) {
  struct stat first {
  }, second{};
  return ::stat(a.constData(), &first) == 0 && ::stat(b.constData(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : m_fd(fd) {}
  ~FileDescriptor() { close(); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  [[nodiscard]] int get() const { return m_fd; }
  void reset(int fd) {
    close();
    m_fd = fd;
  }
  int close() {
    const int result = m_fd >= 0 ? ::close(m_fd) : 0;
    m_fd = -1;
    return result;
  }

 private:
  int m_fd;
};

bool writeAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// Copies `source` to a temporary file in `folder`; on success `temporary`
// names a complete, flushed copy with the source's size, times and mode.
// On failure nothing is left behind and the reason is returned.
// A step of a batch, told to the batch's log when there is one.
struct Logged {
  OperationLog* log = nullptr;
  std::size_t index = 0;
  StepNote note;
  bool before() const { return log == nullptr || log->before(index, note); }
  void after(const FileResult& result) const {
    if (log != nullptr) log->after(index, result, note);
  }
};

const QString kJournalRefused = QStringLiteral("left alone: the journal cannot be written");

// Copies `source` to a temporary file in `folder`; on success `temporary`
// names a complete, flushed copy with the source's size, times and mode.
// On failure nothing is left behind, the reason is returned and `error`
// holds the errno where there was one.
QString copyToTemporary(const QByteArray& source, const QByteArray& folder,
                        const CopyProgress& progress, QByteArray& temporary, Logged& step,
                        int& error) {
  error = 0;
  FileDescriptor in(::open(source.constData(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) return reasonFor(error = errno);
  struct stat info {};
  if (::fstat(in.get(), &info) != 0) return reasonFor(error = errno);
  if (!S_ISREG(info.st_mode)) return QStringLiteral("not a regular file");

  // Named, and journaled, before it is made: a kill at any moment leaves
  // nothing the journal does not know of.
  QByteArray pattern;
  FileDescriptor out(-1);
  while (out.get() < 0) {
    pattern = JoinPath(
        folder, ".myzor-copy-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36));
    step.note.temporary = pattern;
    if (!step.before()) return kJournalRefused;
    out.reset(::open(pattern.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (out.get() < 0 && errno != EEXIST)
      return QStringLiteral("cannot write in the target folder: %1").arg(reasonFor(error = errno));
  }
  // `error` is set where the system gave a reason.
  const auto discard = [&](const QString& reason) {
    out.close();
    ::unlink(pattern.constData());
    return reason;
  };

  Sha256 hash;
  std::vector<char> buffer(1 << 18);
  std::int64_t done = 0;
  for (;;) {
    const ssize_t got = ::read(in.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return discard(QStringLiteral("cannot read it: %1").arg(reasonFor(error = errno)));
    if (got == 0) break;
    if (!writeAll(out.get(), buffer.data(), static_cast<std::size_t>(got)))
      return discard(QStringLiteral("cannot write the copy: %1").arg(reasonFor(error = errno)));
    if (step.log != nullptr) hash.add(buffer.data(), static_cast<std::size_t>(got));
    done += got;
    if (progress && !progress(done, info.st_size)) return discard(QStringLiteral("cancelled"));
  }
  const struct timespec times[2] = {info.st_atim, info.st_mtim};
  ::fchmod(out.get(), info.st_mode & 0777);
  ::futimens(out.get(), times);
  if (::fsync(out.get()) != 0)
    return discard(QStringLiteral("cannot write the copy: %1").arg(reasonFor(error = errno)));
  struct stat written {};
  if (::fstat(out.get(), &written) != 0) return discard(reasonFor(error = errno));
  if (written.st_size != info.st_size || done != info.st_size)
    return discard(QStringLiteral("the copy has %1 bytes where the file has %2")
                       .arg(written.st_size)
                       .arg(info.st_size));
  if (out.close() != 0)
    return discard(QStringLiteral("cannot write the copy: %1").arg(reasonFor(error = errno)));
  step.note.copy_inode = static_cast<std::uint64_t>(written.st_ino);
  step.note.sha256 = hash.result();
  if (!step.before()) {
    ::unlink(pattern.constData());
    return kJournalRefused;
  }
  temporary = pattern;
  return {};
}

void syncFolder(const QByteArray& folder) {
  FileDescriptor fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() >= 0) ::fsync(fd.get());
}

FileResult skippedResult(const QByteArray& path) {
  FileResult result = failed(path, QStringLiteral("its name is taken in the target folder"));
  result.skipped = true;
  return result;
}

bool nameTaken(const QByteArray& folder, const QByteArray& name) {
  struct stat info {};
  return ::lstat(JoinPath(folder, name).constData(), &info) == 0;
}

// A complete copy of `source` in `folder`, or the reason there is none;
// `error` gets the errno of a failure where there was one.
FileResult copyOne(const QByteArray& source, const QByteArray& folder, const CopyProgress& progress,
                   ClashPolicy policy, Logged& step, int& error) {
  error = 0;
  // Checked first so that a skipped file is not copied for nothing; placeInto
  // below still refuses a name taken meanwhile.
  if (policy == ClashPolicy::skip && nameTaken(folder, NameOf(source)))
    return skippedResult(source);
  step.note.target = JoinPath(folder, NameOf(source));
  QByteArray temporary;
  const QString reason = copyToTemporary(source, folder, progress, temporary, step, error);
  if (!reason.isEmpty()) return failed(source, reason);
  QByteArray placed;
  if (error = placeInto(temporary, folder, NameOf(source), placed, policy); error != 0) {
    ::unlink(temporary.constData());
    return error == EEXIST && policy == ClashPolicy::skip ? skippedResult(source)
                                                          : failed(source, reasonFor(error));
  }
  step.note.target = placed;
  syncFolder(folder);
  return succeeded(source, placed);
}

// The rest of a batch after a failure that would fail them too.
void leaveTheRest(std::vector<FileResult>& results, const std::vector<QByteArray>& paths,
                  const QString& why) {
  for (std::size_t i = results.size(); i < paths.size(); ++i)
    results.push_back(failed(paths[i], why));
}

std::int64_t fileSize(const QByteArray& path) {
  struct stat info {};
  return ::stat(path.constData(), &info) == 0 ? info.st_size : 0;
}

bool stopsTheBatch(int error) { return error == ENOSPC || error == EDQUOT; }

}  // namespace

int RenameNoReplace(const QByteArray& from, const QByteArray& to) {
  if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
    return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
  // link() refuses an existing name just as atomically.
  if (::link(from.constData(), to.constData()) != 0) return errno;
  if (::unlink(from.constData()) != 0) {
    const int error = errno;
    ::unlink(to.constData());
    return error;
  }
  return 0;
}

QByteArray PlannedRename::newPath() const {
  return new_name.isEmpty() ? QByteArray() : JoinPath(FolderOf(old_path), new_name);
}

RenamePlan PlanRename(const std::vector<ReplayRow>& rows, const RenamePattern& pattern) {
  RenamePlan plan;
  std::set<QByteArray> claimed;           // paths the batch gives to its files
  std::map<QByteArray, int> next_suffix;  // per path the first suffix still worth trying
  int n = 0;
  for (const ReplayRow& row : rows) {
    PlannedRename& file = plan.files.emplace_back();
    file.old_path = row.file.path;
    ++n;
    if (pattern.needsContent() && !row.ok) {
      QString message = row.error_message;
      const QString own_name = DisplayName(row.file.path) + QStringLiteral(": ");
      if (message.startsWith(own_name)) message.remove(0, own_name.size());
      file.reason =
          QStringLiteral("the pattern needs its content, but it cannot be read: %1").arg(message);
      continue;
    }
    file.stem = pattern.expand(row, n);
    const QByteArray folder = FolderOf(file.old_path);
    const QByteArray old_name = NameOf(file.old_path);
    const QByteArray key = JoinPath(folder, SafeFileName(file.stem));
    int suffix = std::max(1, next_suffix[key]);
    for (; suffix <= kMaxSuffix; ++suffix) {
      file.new_name =
          SafeFileName(file.stem, suffix > 1 ? QStringLiteral(" (%1)").arg(suffix) : QString());
      const QByteArray path = JoinPath(folder, file.new_name);
      if (file.new_name == old_name || (!claimed.contains(path) && !exists(path))) break;
    }
    next_suffix[key] = suffix + 1;
    if (suffix > kMaxSuffix) {
      file.new_name.clear();
      file.reason = QStringLiteral("no free name like this one in its folder");
      continue;
    }
    claimed.insert(file.newPath());
    file.state = file.new_name == old_name ? RenameState::unchanged
                 : suffix > 1              ? RenameState::clash
                                           : RenameState::ok;
  }
  return plan;
}

RenameOutcome ExecuteRename(const RenamePlan& plan) { return ExecuteRename(plan, nullptr); }

RenameOutcome ExecuteRename(const RenamePlan& plan, OperationLog* log) {
  RenameOutcome outcome;
  std::map<QString, int>
      next_suffix;  // per stem, so that one late arrival does not renumber the batch from 2
  bool refused = false;
  for (std::size_t index = 0; index < plan.files.size(); ++index) {
    const PlannedRename& file = plan.files[index];
    if (file.state != RenameState::ok && file.state != RenameState::clash) continue;
    Logged step{log, index, {file.newPath(), {}, 0, {}}};
    if (refused || (refused = !step.before())) {
      outcome.results.push_back(failed(file.old_path, kJournalRefused));
      continue;
    }
    struct stat info {};
    if (::lstat(file.old_path.constData(), &info) != 0) {
      outcome.results.push_back(failed(file.old_path, reasonFor(errno)));
      step.after(outcome.results.back());
      continue;
    }
    const QByteArray folder = FolderOf(file.old_path);
    QByteArray target = file.newPath();
    int error = RenameNoReplace(file.old_path, target);
    // Taken since the plan was made: number it on from there.
    if (error == EEXIST) {
      int& suffix = next_suffix[QString::fromUtf8(folder) + QLatin1Char('/') + file.stem];
      for (suffix = std::max(suffix, 2); error == EEXIST && suffix <= kMaxSuffix; ++suffix) {
        target = JoinPath(folder, SafeFileName(file.stem, QStringLiteral(" (%1)").arg(suffix)));
        error = RenameNoReplace(file.old_path, target);
      }
    }
    step.note.target = target;
    if (error != 0) {
      outcome.results.push_back(failed(file.old_path, reasonFor(error)));
      step.after(outcome.results.back());
      continue;
    }
    outcome.results.push_back(succeeded(file.old_path, target));
    step.after(outcome.results.back());
    outcome.undo.steps.push_back({file.old_path, target, static_cast<std::uint64_t>(info.st_dev),
                                  static_cast<std::uint64_t>(info.st_ino)});
  }
  return outcome;
}

std::vector<FileResult> UndoRename(const RenameUndo& undo) {
  std::vector<FileResult> results;
  for (auto step = undo.steps.rbegin(); step != undo.steps.rend(); ++step) {
    struct stat info {};
    if (::lstat(step->new_path.constData(), &info) != 0) {
      results.push_back(
          failed(step->new_path, QStringLiteral("no longer there: %1").arg(reasonFor(errno))));
      continue;
    }
    if (static_cast<std::uint64_t>(info.st_dev) != step->device ||
        static_cast<std::uint64_t>(info.st_ino) != step->inode) {
      results.push_back(failed(step->new_path, QStringLiteral("another file has this name now")));
      continue;
    }
    const int error = RenameNoReplace(step->new_path, step->old_path);
    if (error == EEXIST)
      results.push_back(
          failed(step->new_path, QStringLiteral("its old name %1 is taken by another file")
                                     .arg(DisplayName(NameOf(step->old_path)))));
    else if (error != 0)
      results.push_back(failed(step->new_path, reasonFor(error)));
    else
      results.push_back(succeeded(step->new_path, step->old_path));
  }
  return results;
}

int CountClashes(const std::vector<QByteArray>& paths, const QByteArray& folder) {
  return static_cast<int>(std::count_if(paths.begin(), paths.end(), [&](const QByteArray& path) {
    return !sameFile(FolderOf(path), folder) && nameTaken(folder, NameOf(path));
  }));
}

std::vector<FileResult> CopyToFolder(const std::vector<QByteArray>& paths, const QByteArray& folder,
                                     const CopyProgress& progress, ClashPolicy policy,
                                     OperationLog* log) {
  std::vector<FileResult> results;
  for (std::size_t index = 0; index < paths.size(); ++index) {
    Logged step{log, index, {}};
    int error = 0;
    if (progress && !progress(0, fileSize(paths[index]))) {
      results.push_back(failed(paths[index], QStringLiteral("cancelled")));
      continue;
    }
    results.push_back(copyOne(paths[index], folder, progress, policy, step, error));
    step.after(results.back());
    if (results.back().error == kJournalRefused) {
      leaveTheRest(results, paths, kJournalRefused);
      break;
    }
    if (stopsTheBatch(error)) {
      leaveTheRest(results, paths, QStringLiteral("left alone: %1").arg(reasonFor(error)));
      break;
    }
  }
  return results;
}

std::vector<FileResult> MoveToFolder(const std::vector<QByteArray>& paths, const QByteArray& folder,
                                     const CopyProgress& progress, ClashPolicy policy,
                                     OperationLog* log) {
  std::vector<FileResult> results;
  for (std::size_t index = 0; index < paths.size() && results.size() < paths.size(); ++index) {
    const QByteArray& path = paths[index];
    if (sameFile(FolderOf(path), folder)) {
      results.push_back(succeeded(path, path));
      continue;
    }
    if (progress && !progress(0, fileSize(path))) {
      results.push_back(failed(path, QStringLiteral("cancelled")));
      continue;
    }
    Logged step{log, index, {JoinPath(folder, NameOf(path)), {}, 0, {}}};
    if (!step.before()) {
      leaveTheRest(results, paths, kJournalRefused);
      break;
    }
    QByteArray placed;
    int error = placeInto(path, folder, NameOf(path), placed, policy);
    if (error == EEXIST && policy == ClashPolicy::skip) {
      results.push_back(skippedResult(path));
      step.after(results.back());
      continue;
    }
    if (error != EXDEV) {
      step.note.target = placed;
      results.push_back(error == 0 ? succeeded(path, placed) : failed(path, reasonFor(error)));
      step.after(results.back());
      continue;
    }
    // Another file system: the source goes only once its copy is safely in place.
    FileResult copy = copyOne(path, folder, progress, policy, step, error);
    if (copy.ok && ::unlink(path.constData()) != 0) {
      copy.ok = false;
      copy.error = QStringLiteral("copied to %1, but the original could not be removed: %2")
                       .arg(DisplayName(copy.new_path), reasonFor(errno));
    }
    results.push_back(copy);
    step.after(results.back());
    if (copy.error == kJournalRefused)
      leaveTheRest(results, paths, kJournalRefused);
    else if (stopsTheBatch(error))
      leaveTheRest(results, paths, QStringLiteral("left alone: %1").arg(reasonFor(error)));
  }
  return results;
}

std::vector<FileResult> MoveToTrash(const std::vector<QByteArray>& paths, OperationLog* log) {
  std::vector<FileResult> results;
  // Without the user's data folder Qt falls back to "files/" and "info/" in
  // the working folder, which is no trash at all; every desktop has one.
  QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
  for (std::size_t index = 0; index < paths.size(); ++index) {
    const QByteArray& path = paths[index];
    const QString name = QFile::decodeName(path);
    // Qt names files by text: a name that does not survive the round trip
    // would send some other file to the trash.
    if (QFile::encodeName(name) != path) {
      results.push_back(
          failed(path, QStringLiteral("its name is not valid UTF-8, which the trash cannot take")));
      continue;
    }
    Logged step{log, index, {}};
    if (!step.before()) {
      leaveTheRest(results, paths, kJournalRefused);
      break;
    }
    QFile file(name);
    if (file.moveToTrash()) {
      step.note.target = QFile::encodeName(file.fileName());
      results.push_back(succeeded(path, step.note.target));
    } else {
      results.push_back(failed(path, file.errorString()));
    }
    step.after(results.back());
  }
  return results;
}

QByteArray FileSha256(const QByteArray& path) {
  // Opened by its bytes: the name need not be UTF-8.
  const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  Sha256 hash;
  thread_local std::vector<char> buffer(std::size_t{1} << 18);
  bool ok = true;
  for (;;) {
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    ok = got >= 0;
    if (got <= 0) break;
    hash.add(buffer.data(), static_cast<std::size_t>(got));
  }
  ::close(fd);
  return ok ? hash.result() : QByteArray();
}

}  // namespace myzor
