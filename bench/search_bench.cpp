// The library's search over 100,000 made-up rows: compiling a search and
// testing every row, alone and through the table's filter.
#include <benchmark/benchmark.h>

#include "library/model/library_filter.h"
#include "library/model/library_model.h"

namespace {

constexpr int kRows = 100'000;

// Rows made once; folding them is what the rows' arrival costs, not the search.
myzor::LibraryModel& rows() {
  static myzor::LibraryModel* model = [] {
    const QStringList names = {"Łucja",      "Mira Tolvane", "Ashen Vel", "Øyvind",
                               "Straße Kid", "Zoë Ærn",      "Kai"};
    const QStringList maps = {"Ashfall Ridge", "Frost Pass", "Glacier Bay", "Cinder Fields"};
    std::vector<myzor::ReplayRow> made(kRows);
    for (int i = 0; i < kRows; ++i) {
      myzor::ReplayRow& row = made[static_cast<std::size_t>(i)];
      row.relative_path = QStringLiteral("2024-%1/game %2.rec").arg(i % 12 + 1).arg(i);
      row.file.mtime_ns = (1'700'000'000LL + i * 997LL) * 1'000'000'000;
      row.map = maps[i % maps.size()];
      row.roster = {{names[i % names.size()], {}}, {names[(i / 7) % names.size()], {}}};
      row.player_count = 2 + i % 7;
      row.version = i % 3 == 0 ? QStringLiteral("1.30") : QStringLiteral("1.3");
    }
    auto* table = new myzor::LibraryModel;
    table->appendRows(std::move(made));
    return table;
  }();
  return *model;
}

const char* const kSearches[] = {"lucja", "mira -frost", "map:glacier OR count:4 version:1.30",
                                 "after:2024-01-01 before:2024-06-30 \"ashen vel\""};

void BM_Match(benchmark::State& state) {
  const myzor::LibraryModel& model = rows();
  const QString text = QString::fromUtf8(kSearches[state.range(0)]);
  int shown = 0;
  for (auto _ : state) {
    const myzor::SearchQuery query = myzor::CompileSearch(text);
    shown = 0;
    for (int i = 0; i < kRows; ++i) shown += query.matches(model.searchRow(i)) ? 1 : 0;
  }
  state.SetLabel(text.toStdString());
  state.counters["shown"] = shown;
}
BENCHMARK(BM_Match)->Name("Search/match_100k")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// What a keystroke costs the window: the filter shows the rows of a new
// search, and all rows again once it is cleared (two searches per round).
void BM_Filter(benchmark::State& state) {
  myzor::LibraryFilter filter;
  filter.setSourceModel(&rows());
  // As the window lists them: sorted by file name.
  if (state.range(1) != 0) filter.sort(myzor::LibraryModel::FileColumn);
  const QString text = QString::fromUtf8(kSearches[state.range(0)]);
  int shown = 0;
  for (auto _ : state) {
    filter.setSearchText(text);
    shown = filter.rowCount();  // the rows are filtered when asked for
    filter.setSearchText({});
    benchmark::DoNotOptimize(filter.rowCount());
  }
  state.counters["shown"] = shown;
  state.SetLabel(text.toStdString());
}
BENCHMARK(BM_Filter)
    ->Name("Search/filter_100k")
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
