// The window's main event: picking the largest sample in the file list, from
// the click until every control shows the new replay. Runs off screen.
#include "ui/form1.h"

#include <QApplication>
#include <QCoreApplication>
#include <QListWidget>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

const QString kLargest = QStringLiteral("glacier_pass_8p.rec");

// One window for all runs, opened on the samples beside the benchmark; made
// and closed by main() while the application object lives.
Form1* g_window = nullptr;

Form1& window() { return *g_window; }

QListWidget* fileList() { return window().findChild<QListWidget*>(QStringLiteral("File1")); }

void selectLargest(benchmark::State& state) {
  QListWidget* list = fileList();
  const auto found = list->findItems(kLargest, Qt::MatchExactly);
  if (found.size() != 1) {
    state.SkipWithError("the largest sample is not listed");
    return;
  }
  list->setCurrentItem(found.first());
  QCoreApplication::processEvents();
  if (window().currentReplay().players.size() != 8) state.SkipWithError("the sample was not read");
}

QListWidget* actionList() {
  return window().findChild<QListWidget*>(QStringLiteral("lst_actions"));
}

// The handler alone: read, parse, fill the rows, labels, boxes and map
// picture. Each read adds a line to the action list; the list is emptied
// between clicks (untimed) so that every click finds the window as fresh.
void BM_File1Click(benchmark::State& state) {
  selectLargest(state);
  for (auto _ : state) {
    window().File1_Click();
    benchmark::DoNotOptimize(window().currentReplay().players.data());
    state.PauseTiming();
    actionList()->clear();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_File1Click)->Name("Window/File1_Click")->Unit(benchmark::kMicrosecond);

// The same click late in a session, when 2,000 earlier reads have each left
// their line in the action list.
void BM_File1ClickLate(benchmark::State& state) {
  selectLargest(state);
  actionList()->clear();
  for (int i = 0; i < 2000; ++i) window().AppendAction("7\taction");
  for (auto _ : state) {
    window().File1_Click();
    benchmark::DoNotOptimize(window().currentReplay().players.data());
  }
  actionList()->clear();
}
BENCHMARK(BM_File1ClickLate)
    ->Name("Window/File1_Click_after_2000_reads")
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(50);

// A fresh click followed by the repaint of everything it changed.
void BM_File1ClickPainted(benchmark::State& state) {
  selectLargest(state);
  for (auto _ : state) {
    window().File1_Click();
    window().repaint();
    QCoreApplication::processEvents();
    state.PauseTiming();
    actionList()->clear();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_File1ClickPainted)->Name("Window/File1_Click_painted")->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char* argv[]) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const auto form = std::make_unique<Form1>(QStringLiteral(MYZOR_PROGRAM_FOLDER));
  form->show();
  QCoreApplication::processEvents();
  g_window = form.get();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
