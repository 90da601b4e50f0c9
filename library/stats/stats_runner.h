// Computing the aggregates on a worker thread for a view that shows them.
#pragma once

#include "library/replay_row.h"
#include "library/stats/replay_stats.h"

#include <QFutureWatcher>
#include <QObject>

#include <functional>
#include <vector>

namespace myzor {

// Lives in the window's thread. One computation runs at a time: a request
// made meanwhile is kept as one, and its rows are taken only when the running
// one is done, so that a burst of changes costs one more computation.
class StatsRunner : public QObject {
  Q_OBJECT

 public:
  using Rows = std::function<std::vector<ReplayRow>()>;
  // `rows` is called on the window's thread and must be quick (copies).
  explicit StatsRunner(Rows rows, QObject* parent = nullptr);
  ~StatsRunner() override;

  void request();
  [[nodiscard]] bool isBusy() const { return m_watcher.isRunning() || m_again; }

 signals:
  void computed(const myzor::ReplayStats& stats);

 private:
  void start();

  Rows m_rows;
  QFutureWatcher<ReplayStats> m_watcher;
  bool m_again = false;
};

}  // namespace myzor
