// Journaled batches: each kind is taken back from the journal after it was
// reopened, a file changed since is left alone, a batch cut short is undone or
// finished, and a full disk stops a copy cleanly.
#include "library/journal/journal.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "library/journal/batches.h"
#include "tests/support/file_results.h"

namespace {

using namespace myzor;
using Listing =
    std::map<std::string, std::string>;  // relative path -> contents, by the names' bytes

Listing list(const QString& root) {
  Listing files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root.toStdString())) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    files[std::filesystem::relative(entry.path(), root.toStdString()).string()] =
        std::string(std::istreambuf_iterator<char>(in), {});
  }
  return files;
}

QByteArray write(const QString& folder, const std::string& name, const std::string& contents) {
  const QByteArray path = QFile::encodeName(folder) + '/' + QByteArray::fromStdString(name);
  std::ofstream(path.toStdString(), std::ios::binary) << contents;
  return path;
}

struct Kind {
  const char* name;
  BatchKind kind;
  bool other_file_system;  // the target folder on /dev/shm
};
void PrintTo(const Kind& c, std::ostream* out) { *out << c.name; }

class UndoAfterRestart : public testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.path()));
    QDir().mkpath(files("src"));
    // The trash takes names as text only.
    for (const char* name : {"a.rec", "b.rec", "c\xff.rec"})
      if (GetParam().kind != BatchKind::trash || name[0] != 'c')
        m_paths.push_back(write(files("src"), name, name));
  }
  ~UndoAfterRestart() override {
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(m_home.path().toStdString()))
      if (entry.is_regular_file())
        ::unlink(entry.path().c_str());  // QTemporaryDir removes names as text
  }
  QString files(const char* folder = "") const { return m_home.path() + "/files/" + folder; }
  QTemporaryDir m_home;
  QTemporaryDir m_shm{std::filesystem::is_directory("/dev/shm") ? "/dev/shm/myzor-XXXXXX"
                                                                : QDir::tempPath() + "/x-XXXXXX"};
  std::vector<QByteArray> m_paths;
};

TEST_P(UndoAfterRestart, PutsBackAllButTheFileChangedSince) {
  const Kind& c = GetParam();
  const QString target = c.other_file_system ? m_shm.path() : files("dst");
  QDir().mkpath(target);
  const Listing before = list(files());
  std::vector<FileResult> results;
  {
    Journal journal;
    RenamePlan plan;
    for (const QByteArray& path : m_paths)
      plan.files.push_back(
          {path, "new " + path.mid(path.lastIndexOf('/') + 1), RenameState::ok, {}, "x"});
    const BatchOutcome outcome =
        c.kind == BatchKind::rename ? JournaledRename(journal, plan)
        : c.kind == BatchKind::trash
            ? JournaledTrash(journal, m_paths)
            : JournaledCopy(journal, c.kind, m_paths, QFile::encodeName(target));
    ASSERT_FALSE(outcome.refused) << outcome.journal_error.toStdString();
    results = outcome.results;
  }
  ASSERT_EQ(results.size(), m_paths.size());
  for (const FileResult& result : results) ASSERT_TRUE(result.ok) << result.error.toStdString();
  std::ofstream(results[1].new_path.toStdString(), std::ios::app) << "changed";

  Journal reopened;
  const std::optional<JournalBatch> last = reopened.lastUndoable();
  ASSERT_TRUE(last);
  EXPECT_EQ(last->kind, c.kind);
  EXPECT_EQ(last->done, static_cast<int>(m_paths.size()));
  const BatchOutcome undone = UndoBatch(reopened, last->id);
  ASSERT_EQ(undone.results.size(), m_paths.size());
  const QString summary = Tally(undone.results);
  const QString changed =
      DisplayName(results[1].new_path.mid(results[1].new_path.lastIndexOf('/') + 1));
  EXPECT_TRUE(summary.startsWith(QString::number(m_paths.size() - 1) + " done") &&
              summary.endsWith(", 1 failed: " + changed + ": left alone: it has changed since"))
      << summary.toStdString();
  Listing after = list(files());
  if (c.other_file_system) {
    for (const auto& [name, contents] : list(target)) after["dst/" + name] = contents;
  }
  for (const auto& [name, contents] : before) {
    if (name != "src/b.rec" || c.kind == BatchKind::copy) {
      EXPECT_EQ(after[name], contents) << name;
    }
  }
  // The changed file stays where the batch put it (the trash is not listed).
  EXPECT_EQ(after.size() + (c.kind == BatchKind::trash) + (c.kind != BatchKind::copy),
            before.size() + 1);
  EXPECT_EQ(reopened.batch(last->id)->state, BatchState::undone);
  EXPECT_FALSE(reopened.lastUndoable());
}

INSTANTIATE_TEST_SUITE_P(Kinds, UndoAfterRestart,
                         testing::Values(Kind{"Rename", BatchKind::rename, false},
                                         Kind{"Move", BatchKind::move, false},
                                         Kind{"MoveAcross", BatchKind::move, true},
                                         Kind{"Copy", BatchKind::copy, false},
                                         Kind{"CopyAcross", BatchKind::copy, true},
                                         Kind{"Trash", BatchKind::trash, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// A copy killed in its second file: the journal names its hidden temporary
// file; undo removes it and the first copy, finish completes all three.
class CutShort : public testing::TestWithParam<bool> {};

TEST_P(CutShort, CopyIsUndoneOrFinished) {
  const bool finish = GetParam();
  QTemporaryDir home;
  qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
  QDir().mkpath(home.path() + "/src");
  QDir().mkpath(home.path() + "/dst");
  std::vector<QByteArray> paths;
  for (const char* name : {"a.rec", "b.rec", "c.rec"})
    paths.push_back(write(home.path() + "/src", name, std::string(1 << 19, name[0])));
  const pid_t child = ::fork();
  if (child == 0) {
    Journal journal;
    int files = 0;
    (void)JournaledCopy(journal, BatchKind::copy, paths, QFile::encodeName(home.path() + "/dst"),
                        [&](auto done, auto) {
                          if (done == 0) ++files;
                          if (files == 2 && done > 0) ::_exit(0);
                          return true;
                        });
    ::_exit(1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(QDir(home.path() + "/dst").entryList(QDir::Files | QDir::Hidden).size(),
            2);  // a.rec and the temporary

  Journal journal;
  const std::optional<JournalBatch> cut = journal.interrupted();
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->done, 1);
  const BatchOutcome outcome = finish ? FinishBatch(journal, cut->id) : UndoBatch(journal, cut->id);
  EXPECT_EQ(Tally(outcome.results), finish ? "2 done" : "1 done");
  const QStringList left =
      QDir(home.path() + "/dst").entryList(QDir::Files | QDir::Hidden, QDir::Name);
  EXPECT_EQ(left, finish ? QStringList({"a.rec", "b.rec", "c.rec"}) : QStringList());
  EXPECT_EQ(list(home.path() + "/src").size(), 3u);
  EXPECT_FALSE(journal.interrupted());
}

INSTANTIATE_TEST_SUITE_P(Choices, CutShort, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Finish" : "Undo"; });

TEST(Journal, StopsAFullDiskCleanlyAndKeepsTheLastHundredBatches) {
  QTemporaryDir home;
  qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
  QDir().mkpath(home.path() + "/dst");
  const QByteArray dst = QFile::encodeName(home.path() + "/dst");
  if (::mount("tmpfs", dst.constData(), "tmpfs", 0, "size=96k") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here";
  const std::unique_ptr<const char, int (*)(const char*)> unmount(dst.constData(), ::umount);
  std::vector<QByteArray> paths;
  for (const char* name : {"a.rec", "b.rec", "c.rec"})
    paths.push_back(write(home.path(), name, std::string(60'000, name[0])));
  Journal journal;
  const BatchOutcome outcome = JournaledCopy(journal, BatchKind::copy, paths, dst);
  EXPECT_TRUE(Tally(outcome.results).startsWith("1 done, 2 failed: b.rec: cannot write"));
  EXPECT_TRUE(outcome.results[2].error.startsWith("left alone"))
      << outcome.results[2].error.toStdString();
  EXPECT_EQ(QDir(QFile::decodeName(dst)).entryList(QDir::Files | QDir::Hidden),
            QStringList{"a.rec"});
  const std::vector<JournalStep> steps = journal.steps(outcome.batch);
  EXPECT_EQ(steps[0].state, StepState::done);
  EXPECT_EQ(steps[1].state, StepState::failed);
  EXPECT_EQ(journal.batch(outcome.batch)->state, BatchState::finished);

  for (int i = 0; i < 100; ++i) ASSERT_TRUE(journal.begin(BatchKind::rename, {}));
  EXPECT_EQ(journal.batches().size(), 100u);
  EXPECT_FALSE(journal.batch(outcome.batch));
}

}  // namespace
