// The Statistics view over 100,000 made-up rows: how long a change of the
// library's search takes until the view shows the new aggregates, and how
// late the window's event loop ever ran meanwhile.
//
//   stats_bench [ROWS]
//   stats_bench FOLDER INDEX
//     prints "rows N", "update_ms M" (median of the searches), "update_max_ms X",
//     "max_stall_ms S"
//
// Given a folder, the rows are its replays, shown from INDEX (made by a first
// run if need be) as the window starts, and searched for names as players
// write them; then the Players view is shown over them: "players_ms" until it
// lists every player, "players_stall_ms" the event loop's lateness meanwhile.
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>

#include "bench/stall_meter.h"
#include "library/model/library_filter.h"
#include "library/model/library_model.h"
#include "library/replay_library.h"
#include "ui/players_view.h"
#include "ui/statistics_view.h"

namespace {

// A lifelike archive: a few hundred players whose activity varies a lot, 2
// to 8 players a game on two or more teams, months over two years.
std::vector<myzor::ReplayRow> madeUpRows(int count) {
  std::mt19937 random(7);
  const QStringList races = {"race_ashen", "race_tide", "race_ember", "race_veil"};
  std::vector<myzor::ReplayRow> rows(static_cast<std::size_t>(count));
  std::geometric_distribution<int> activity(0.01);
  for (int i = 0; i < count; ++i) {
    myzor::ReplayRow& row = rows[static_cast<std::size_t>(i)];
    const int month = i % 26;
    row.relative_path = QStringLiteral("%1-%2/replay_%3.rec")
                            .arg(2024 + month / 12)
                            .arg(month % 12 + 1, 2, 10, QLatin1Char('0'))
                            .arg(i, 6, 10, QLatin1Char('0'));
    row.file.path = row.relative_path.toUtf8();
    row.file.mtime_ns = (1'704'067'200LL + month * 2'629'800LL + i % 2'000'000LL) * 1'000'000'000;
    row.map = QStringLiteral("Map %1").arg(static_cast<int>(random() % 40));
    row.game = QStringLiteral("Game %1").arg(i);
    const int players = 2 + static_cast<int>(random() % 7);
    const int teams = players == 2 ? 2 : 2 + static_cast<int>(random() % (players - 1));
    for (int p = 0; p < players; ++p) {
      const QString name = QStringLiteral("player %1").arg(std::min(activity(random), 399));
      const QString race = races[static_cast<int>(random() % races.size())];
      row.roster.push_back({name, race, p % teams, 0, 100});
    }
    row.player_count = players;
    // As the rows read from files and from the index share them.
    myzor::ShareCommonText(row);
    if (i % 97 == 0) row.ok = false;
  }
  return rows;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const bool from_folder = argc > 2;
  if (argc > 3) {
    std::fputs("usage: stats_bench [ROWS] | stats_bench FOLDER INDEX\n", stderr);
    return 2;
  }
  if (from_folder && !QFileInfo(QString::fromLocal8Bit(argv[1])).isDir()) {
    std::fprintf(stderr, "stats_bench: %s: no such folder\n", argv[1]);
    return 2;
  }
  std::unique_ptr<myzor::ReplayLibrary> library;
  myzor::LibraryModel made_up;
  myzor::LibraryModel* model = &made_up;
  if (from_folder) {
    library = std::make_unique<myzor::ReplayLibrary>(QString::fromLocal8Bit(argv[2]));
    QObject::connect(library.get(), &myzor::ReplayLibrary::finished, &app, &QCoreApplication::quit);
    library->open(QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath().toLocal8Bit());
    QApplication::exec();
    QObject::disconnect(library.get(), nullptr, &app, nullptr);
    model = library->model();
  } else {
    made_up.appendRows(madeUpRows(argc > 1 ? std::atoi(argv[1]) : 100'000));
  }
  const int count = model->rowCount();
  myzor::LibraryFilter filter;
  filter.setSourceModel(model);
  filter.sort(myzor::LibraryModel::FileColumn);
  // The library's table shows the filter, as in the window.
  QTableView table;
  table.setModel(&filter);
  table.resize(1000, 700);
  table.show();
  StatisticsView view(&filter);
  view.resize(1000, 700);
  view.show();

  StallMeter stalls;

  const QStringList searches =
      from_folder ? QStringList{"malgorzata",
                                "",
                                "map:\"frost pass\"",
                                "",
                                "count:2",
                                "[zr]",
                                "дмитрий",
                                "",
                                "-lukasz",
                                ""}
                  : QStringList{"player 1",  "", "map:\"map 7\"", "",        "count:2",
                                "race_veil", "", "player 12",     "-player", ""};
  std::vector<qint64> updates;
  int next = -1;
  QElapsedTimer update;
  const auto search = [&] {
    if (++next == searches.size()) {
      QCoreApplication::quit();
      return;
    }
    update.start();
    filter.setSearchText(searches.at(next));
  };
  bool settled = false;
  QObject::connect(&view, &StatisticsView::shown, [&] {
    if (!settled) {
      // The first aggregates, over every row, before any search.
      settled = true;
      stalls.start();
    } else {
      updates.push_back(update.elapsed());
    }
    // A pause between searches, as between two of a user's.
    QTimer::singleShot(300, search);
  });
  QApplication::exec();

  const qint64 search_stall_ms = stalls.takeMostMs();

  // The Players view counts the whole library, shown once the searches are done.
  qint64 players_ms = -1;
  qint64 players_stall_ms = -1;
  std::unique_ptr<PlayersView> players;
  if (library != nullptr) {
    players = std::make_unique<PlayersView>(library.get(), [](const QString&) {});
    players->resize(1000, 700);
    QElapsedTimer shown;
    QObject::connect(players.get(), &PlayersView::shown, [&] {
      players_ms = shown.elapsed();
      players_stall_ms = stalls.takeMostMs();
      QTimer::singleShot(100, &app, &QCoreApplication::quit);
    });
    shown.start();
    players->show();
    QApplication::exec();
  }

  std::sort(updates.begin(), updates.end());
  std::printf("rows %d\nupdate_ms %lld\nupdate_max_ms %lld\nmax_stall_ms %lld\n", count,
              static_cast<long long>(updates.empty() ? -1 : updates[updates.size() / 2]),
              static_cast<long long>(updates.empty() ? -1 : updates.back()),
              static_cast<long long>(search_stall_ms));
  if (players != nullptr)
    std::printf("players_ms %lld\nplayers_stall_ms %lld\n", static_cast<long long>(players_ms),
                static_cast<long long>(players_stall_ms));
  return 0;
}
