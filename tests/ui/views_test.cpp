// The Players and Statistics views over library rows, driven as a user would.
#include <gtest/gtest.h>

#include <QAction>
#include <QBarSeries>
#include <QBarSet>
#include <QChartView>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "library/model/library_filter.h"
#include "library/replay_library.h"
#include "library/stats/stats_runner.h"
#include "ui/players_view.h"
#include "ui/statistics_view.h"

namespace {

myzor::ReplayRow game(const QString& map, myzor::Roster roster, bool ok = true) {
  myzor::ReplayRow row;
  row.relative_path = map + QString::number(roster.size()) + QStringLiteral(".rec");
  row.file.path = row.relative_path.toUtf8();
  row.map = map;
  row.ok = ok;
  row.roster = std::move(roster);
  return row;
}

class Views : public testing::Test {
 protected:
  void SetUp() override {
    library.model()->appendRows(
        {game("Ridge", {{"Ann", "elf", 1}, {"Bob", "orc", 2}}),
         game("Ridge", {{"Ann", "orc", 1}, {"Bob", "orc", 2}, {"Cid", "elf", 3}}),
         game("Frost", {{"Bob", "elf", 1}, {"Dee", "orc", 2}}), game("Cut", {}, false)});
    filter.setSourceModel(library.model());
  }
  // Waits for the view's aggregates of the rows as they are now.
  template <typename View>
  static void settle(View& view) {
    QSignalSpy shown(&view, &View::shown);
    QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty() && !view.runner()->isBusy(), 10'000);
  }
  QTemporaryDir cache;
  myzor::ReplayLibrary library{cache.filePath("index.sqlite")};
  myzor::LibraryFilter filter;
};

TEST_F(Views, ActivatingAPlayerSearchesTheLibraryForThem) {
  QString search;
  PlayersView view(&library, [&search](const QString& text) { search = text; });
  view.show();
  settle(view);
  auto* table = view.findChild<QTableView*>("tbl_players");
  ASSERT_EQ(table->model()->rowCount(), 4);
  EXPECT_EQ(table->model()->index(0, 0).data().toString(), "Bob");  // most games first
  EXPECT_EQ(table->model()->index(0, 1).data().toInt(), 3);

  QTest::keyClicks(view.findChild<QLineEdit*>("txt_players_search"), "an");
  ASSERT_EQ(table->model()->rowCount(), 1);
  table->setFocus();
  table->setCurrentIndex(table->model()->index(0, 2));
  QTest::keyClick(table, Qt::Key_Return);
  EXPECT_EQ(search, "player:=\"Ann\"");

  // The search set lists exactly the games counted: not those of a name that
  // begins with this one, and also for a name that holds a quote.
  library.model()->appendRows({game("Bay", {{"Kai", "elf", 1}, {"Kaiser", "orc", 2}}),
                               game("Bay", {{"Kaiser", "elf", 1}, {"Jo \"Ace\" Lin", "orc", 2}}),
                               game("Fen", {{"Kai", "orc", 1}, {"Jo \"Ace\" Lin", "elf", 2}})});
  view.runner()->request();
  settle(view);
  for (const QString name : {"Kai", "Kaiser", "Jo \"Ace\" Lin"}) {
    auto* field = view.findChild<QLineEdit*>("txt_players_search");
    field->clear();
    QTest::keyClicks(field, name);
    const QModelIndexList found = table->model()->match(table->model()->index(0, 0),
                                                        Qt::DisplayRole, name, 1, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << name.toStdString();
    table->setCurrentIndex(found.first());
    QTest::keyClick(table, Qt::Key_Return);
    filter.setSearchText(search);
    EXPECT_EQ(filter.rowCount(), found.first().siblingAtColumn(1).data().toInt())
        << search.toStdString();
  }
}

TEST_F(Views, StatisticsFollowTheSearchAndEachTableHoldsItsChartsNumbers) {
  StatisticsView view(&filter);
  view.show();
  settle(view);
  EXPECT_EQ(view.findChild<QLabel*>("lbl_games")->text(), "Games: 3");
  EXPECT_EQ(view.findChild<QLabel*>("lbl_failed")->text(), "Failed: 1");
  const auto bars = [&view](const char* name) {
    QStringList shown;
    const auto* chart = view.findChild<QChartView*>(QStringLiteral("chart_") + name)->chart();
    const auto* series = static_cast<const QBarSeries*>(chart->series().value(0));
    if (series == nullptr || series->count() == 0) return shown;
    const QBarSet* set = series->barSets().first();
    for (int i = 0; i < set->count(); ++i) shown << QString::number(set->at(i));
    return shown;
  };
  const auto numbers = [&view](const char* name) {
    QStringList shown;
    const auto* table = view.findChild<QTableWidget*>(QStringLiteral("tbl_") + name);
    for (int i = 0; i < table->rowCount(); ++i) shown << table->item(i, 1)->text();
    return shown;
  };
  for (const char* name : {"months", "maps", "formats"})
    EXPECT_EQ(bars(name), numbers(name)) << name;
  EXPECT_EQ(numbers("maps"), QStringList({"2", "1"}));
  EXPECT_EQ(numbers("formats"), QStringList({"2", "1"}));  // 1v1, ffa
  const auto* matchups = view.findChild<QTableWidget*>("tbl_matchups");
  ASSERT_EQ(matchups->rowCount(), 2);            // elf, orc
  EXPECT_EQ(matchups->item(0, 1)->text(), "2");  // both 1v1 games are elf against orc
  EXPECT_EQ(matchups->item(1, 0)->text(), "2");
  EXPECT_EQ(matchups->item(1, 1), nullptr);

  filter.setSearchText("map:frost");
  settle(view);
  EXPECT_EQ(view.findChild<QLabel*>("lbl_games")->text(), "Games: 1");
  EXPECT_EQ(view.findChild<QLabel*>("lbl_failed")->text(), "Failed: 0");
  EXPECT_EQ(bars("maps"), QStringList({"1"}));
  EXPECT_EQ(numbers("maps"), QStringList({"1"}));
}

// Names merged as one person in the Players view count as that person there
// and in the Statistics view; split again, each name counts on its own.
TEST_F(Views, NamesMergedAsOnePersonCountTogetherInBothViewsUntilSplit) {
  library.useStore(cache.filePath("data/journal.sqlite"));
  PlayersView players(&library, [](const QString&) {});
  StatisticsView statistics(&filter);
  QObject::connect(&library, &myzor::ReplayLibrary::notesChanged, &statistics,
                   [&] { statistics.setPersons(library.persons()); });
  players.show();
  statistics.show();
  auto* table = players.findChild<QTableView*>("tbl_players");
  const auto listed = [](const QAbstractItemModel* model) {
    QStringList out;
    for (int row = 0; row < model->rowCount(); ++row)
      out << model->index(row, 0).data().toString() + ' ' + model->index(row, 1).data().toString();
    std::sort(out.begin(), out.end());
    return out;
  };
  const auto both = [&](const QStringList& expected) {
    return QTest::qWaitFor([&] {
      return listed(table->model()) == expected &&
             listed(statistics.findChild<QTableWidget*>("tbl_top_players")->model()) == expected;
    });
  };
  ASSERT_TRUE(both({"Ann 2", "Bob 3", "Cid 1", "Dee 1"}));
  // Ann and Cid share one game: the person played it once.
  for (const char* name : {"Ann", "Cid"}) {
    const QModelIndex at = table->model()->match(table->model()->index(0, 0), Qt::DisplayRole,
                                                 QString::fromLatin1(name), 1, Qt::MatchExactly)[0];
    table->selectionModel()->select(at, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    table->selectionModel()->setCurrentIndex(at, QItemSelectionModel::NoUpdate);
  }
  players.setPersonChooser([](const QStringList&) { return QStringLiteral("Ann"); });
  players.mergeSelected();
  EXPECT_TRUE(both({"Ann 2", "Bob 3", "Dee 1"}));

  const QModelIndex ann = table->model()->match(table->model()->index(0, 0), Qt::DisplayRole,
                                                QStringLiteral("Ann"), 1, Qt::MatchExactly)[0];
  table->setCurrentIndex(ann);
  for (QAction* action : table->actions())
    if (action->objectName() == QLatin1String("act_split_player")) action->trigger();
  EXPECT_TRUE(both({"Ann 2", "Bob 3", "Cid 1", "Dee 1"}));
}

}  // namespace
