// The batches without a window: every question answered by the test, what
// happened read from the report rather than from words.
#include "ui/batch_controller.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <deque>

#include "library/replay_library.h"
#include "tests/support/replay_builder.h"

namespace {

class Answers : public BatchQuestions {
 public:
  void confirmTrash(const std::vector<myzor::ReplayRow>& rows,
                    std::function<void(bool)> answer) override {
    asked.push_back("trash " + std::to_string(rows.size()));
    answer(trash);
  }
  QString chooseFolder(bool move) override {
    asked.push_back(move ? "folder to move to" : "folder to copy to");
    return folder;
  }
  std::optional<myzor::ClashPolicy> chooseClash(int clashes) override {
    asked.push_back("clashes " + std::to_string(clashes));
    return clash;
  }
  void offerRecovery(const myzor::JournalBatch&, std::function<void(Recovery)> answer) override {
    asked.push_back("recovery");
    answer(Recovery::later);
  }
  void progressStarted(bool, int files) override {
    asked.push_back("progress of " + std::to_string(files));
  }
  void progressMoved(int) override {}
  void progressEnded() override { asked.push_back("progress ended"); }

  bool trash = false;
  QString folder;
  std::optional<myzor::ClashPolicy> clash;
  std::vector<std::string> asked;
};

class BatchControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath("data")));
    QDir(m_dir.path()).mkpath("lib");
    QDir(m_dir.path()).mkpath("out");
    for (const char* name : {"a.rec", "b.rec", "c.rec"}) {
      ASSERT_TRUE(replay_builder::WriteFile(
          QFile::encodeName(m_dir.filePath(QStringLiteral("lib/") + name)).toStdString(),
          replay_builder::BuildReplay(replay_builder::SimpleReplay(2, false))));
    }
    QSignalSpy finished(&m_library, &myzor::ReplayLibrary::finished);
    m_library.open(QFile::encodeName(m_dir.filePath("lib")));
    ASSERT_TRUE(finished.wait(10'000));
  }
  std::vector<myzor::ReplayRow> rows() {
    std::vector<myzor::ReplayRow> all;
    for (int i = 0; i < m_library.model()->rowCount(); ++i)
      all.push_back(m_library.model()->row(i));
    return all;
  }
  // Runs `start` and waits for its report.
  template <typename Start>
  std::optional<BatchReport> run(Start start) {
    QSignalSpy ended(&m_batches, &BatchController::finished);
    start();
    if (!ended.wait(10'000)) return std::nullopt;
    return ended.first().first().value<BatchReport>();
  }

  QTemporaryDir m_dir;
  myzor::ReplayLibrary m_library{QFile::encodeName(m_dir.filePath("index.sqlite"))};
  Answers m_answers;
  BatchController m_batches{&m_library, &m_answers};
};

TEST_F(BatchControllerTest, TrashesOnlyWhenTheAnswerIsYesAndUndoBringsTheFilesBack) {
  m_batches.trash(rows());
  EXPECT_EQ(m_answers.asked, std::vector<std::string>{"trash 3"});
  EXPECT_FALSE(m_batches.isBusy());
  EXPECT_TRUE(QFile::exists(m_dir.filePath("lib/a.rec")));

  m_answers.trash = true;
  const auto trashed = run([&] { m_batches.trash(rows()); });
  ASSERT_TRUE(trashed);
  EXPECT_EQ(trashed->step, BatchReport::Step::trash);
  EXPECT_EQ(trashed->results.size(), 3u);
  EXPECT_TRUE(trashed->sources_gone);
  EXPECT_FALSE(QFile::exists(m_dir.filePath("lib/a.rec")));
  EXPECT_TRUE(m_batches.canUndo());

  const auto undone = run([&] { m_batches.undo(); });
  ASSERT_TRUE(undone);
  EXPECT_EQ(undone->step, BatchReport::Step::undo);
  EXPECT_EQ(undone->kind, myzor::BatchKind::trash);
  EXPECT_TRUE(QFile::exists(m_dir.filePath("lib/a.rec")));
  const auto nothing = run([&] { m_batches.undo(); });
  ASSERT_TRUE(nothing);
  EXPECT_TRUE(nothing->nothing_to_undo);
}

TEST_F(BatchControllerTest, ACopyAsksOnceForTakenNamesAndCancelledOrSkippedReplacesNothing) {
  m_answers.folder = m_dir.filePath("out");
  const auto first = run([&] { m_batches.copyOrMove({rows().front()}, false); });
  ASSERT_TRUE(first);
  EXPECT_EQ(first->step, BatchReport::Step::copy);
  EXPECT_FALSE(first->sources_gone);

  // Cancelled at the question: nothing runs, and no report comes.
  m_answers.asked.clear();
  m_batches.copyOrMove(rows(), false);
  EXPECT_TRUE(QTest::qWaitFor([&] { return m_answers.asked.size() == 2; }, 10'000));
  EXPECT_EQ(m_answers.asked, (std::vector<std::string>{"folder to copy to", "clashes 1"}));
  EXPECT_EQ(QDir(m_dir.filePath("out")).entryList(QDir::Files).size(), 1);

  m_answers.clash = myzor::ClashPolicy::skip;
  m_answers.asked.clear();
  const auto skipped = run([&] { m_batches.copyOrMove(rows(), true); });
  ASSERT_TRUE(skipped);
  EXPECT_EQ(m_answers.asked, (std::vector<std::string>{"folder to move to", "clashes 1",
                                                       "progress of 3", "progress ended"}));
  EXPECT_EQ(skipped->step, BatchReport::Step::move);
  int moved = 0, left = 0;
  for (const myzor::FileResult& result : skipped->results) (result.skipped ? left : moved) += 1;
  EXPECT_EQ(moved, 2);
  EXPECT_EQ(left, 1);
  EXPECT_TRUE(QFile::exists(m_dir.filePath("lib/a.rec")));  // its name was taken
  EXPECT_EQ(QDir(m_dir.filePath("out")).entryList(QDir::Files).size(), 3);
}

}  // namespace
