// Computing the aggregates on a worker thread for a view that shows them.
#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QTimer>
#include <functional>
#include <vector>

#include "library/core/replay_row.h"
#include "library/stats/replay_stats.h"

namespace myzor {

// Lives in the window's thread. The rows are copied there, a slice of a few
// milliseconds at a time so that the window never waits long, and counted on
// a worker. One computation runs at a time: a request made meanwhile is kept
// as one, so that a burst of changes costs one more computation.
class StatsRunner : public QObject {
  Q_OBJECT

 public:
  // How many rows there are, and the rows [first, last) appended to `out`.
  using Count = std::function<int()>;
  using Gather = std::function<void(int first, int last, std::vector<StatsRow>& out)>;
  StatsRunner(Count count, Gather gather, QObject* parent = nullptr);
  ~StatsRunner() override;

  // The rows changed: copying starts over, counting follows.
  void request();
  // Nothing more is copied or counted until the next request.
  void stop();
  [[nodiscard]] bool isBusy() const {
    return m_watcher.isRunning() || m_again || m_gathering.isActive();
  }

 signals:
  void computed(const myzor::ReplayStats& stats);

 private:
  void gatherSlice();

  Count m_count;
  Gather m_gather;
  QTimer m_gathering;
  std::vector<StatsRow> m_rows;
  int m_next = 0;
  QFutureWatcher<ReplayStats> m_watcher;
  bool m_again = false;
};

}  // namespace myzor
