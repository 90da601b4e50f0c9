// The window's main event: picking the largest sample in the file list, from
// the click until every control shows the new replay; and the same pick in
// the library, until the details pane shows it. Runs off screen.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>

#include "ui/details_pane.h"
#include "ui/form1.h"

namespace {

const QString kLargest = QStringLiteral("glacier_pass_8p.rec");

// One window for all runs, opened on the samples beside the benchmark; made
// and closed by main() while the application object lives.
Form1* g_window = nullptr;

QListWidget* actionList() {
  return g_window->findChild<QListWidget*>(QStringLiteral("lst_actions"));
}

void selectLargest(benchmark::State& state) {
  auto* list = g_window->findChild<QListWidget*>(QStringLiteral("File1"));
  const auto found = list->findItems(kLargest, Qt::MatchExactly);
  if (found.size() != 1) return state.SkipWithError("the largest sample is not listed");
  list->setCurrentItem(found.first());
  QCoreApplication::processEvents();
  if (g_window->currentReplay().players.size() != 8) state.SkipWithError("the sample was not read");
}

// The handler alone (read, parse, fill the rows, labels, boxes and map
// picture), or followed by the repaint of everything it changed. Each read
// adds a line to the action list; the list is emptied between clicks
// (untimed) so that every click finds the window as fresh.
void BM_File1Click(benchmark::State& state, bool painted) {
  selectLargest(state);
  for (auto _ : state) {
    g_window->File1_Click();
    benchmark::DoNotOptimize(g_window->currentReplay().players.data());
    if (painted) {
      g_window->repaint();
      QCoreApplication::processEvents();
    }
    state.PauseTiming();
    actionList()->clear();
    state.ResumeTiming();
  }
}
BENCHMARK_CAPTURE(BM_File1Click, fresh, false)
    ->Name("Window/File1_Click")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_File1Click, painted, true)
    ->Name("Window/File1_Click_painted")
    ->Unit(benchmark::kMicrosecond);

// The same click late in a session, when 2,000 earlier reads have each left
// their line in the action list.
void BM_File1ClickLate(benchmark::State& state) {
  selectLargest(state);
  actionList()->clear();
  for (int i = 0; i < 2000; ++i) g_window->AppendAction("7\taction");
  for (auto _ : state) {
    g_window->File1_Click();
    benchmark::DoNotOptimize(g_window->currentReplay().players.data());
  }
  actionList()->clear();
}
BENCHMARK(BM_File1ClickLate)
    ->Name("Window/File1_Click_after_2000_reads")
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(50);

// A row picked in the library, until the details pane has read the file in
// full on its worker and shown and painted everything. The pane alternates
// between two samples so that every pick replaces a whole replay.
void BM_PickToDetails(benchmark::State& state) {
  const QDir samples(QStringLiteral(MYZOR_PROGRAM_FOLDER "/testfiles/1.30"));
  myzor::ReplayRow rows[2];
  int k = 0;
  for (const QString& name : {kLargest, QStringLiteral("cinder_fields_4p.rec")}) {
    const QFileInfo file(samples.filePath(name));
    if (!file.exists()) return state.SkipWithError("a sample is missing");
    rows[k].file = {QFile::encodeName(file.filePath()), file.size(), 0, 0};
    rows[k++].relative_path = name;
  }
  DetailsPane pane(QStringLiteral(MYZOR_PROGRAM_FOLDER));
  pane.resize(700, 900);
  pane.show();
  QEventLoop loop;
  QObject::connect(&pane, &DetailsPane::shown, &loop, &QEventLoop::quit);
  k = 0;
  for (auto _ : state) {
    pane.showRow(rows[k]);
    k = 1 - k;
    loop.exec();
    pane.repaint();
  }
}
BENCHMARK(BM_PickToDetails)
    ->Name("Window/pick_to_details")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char* argv[]) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Form1 form(QStringLiteral(MYZOR_PROGRAM_FOLDER));
  form.show();
  QCoreApplication::processEvents();
  g_window = &form;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
