#include "library/stats/stats_runner.h"

#include <QElapsedTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <utility>

namespace myzor {

namespace {
// Rows copied between two looks at the clock, and the time a slice may take.
constexpr int kSliceRows = 2048;
constexpr qint64 kSliceMs = 6;
}  // namespace

StatsRunner::StatsRunner(Count count, Gather gather, QObject* parent)
    : QObject(parent), m_count(std::move(count)), m_gather(std::move(gather)) {
  m_gathering.setInterval(0);
  connect(&m_gathering, &QTimer::timeout, this, &StatsRunner::gatherSlice);
  connect(&m_watcher, &QFutureWatcher<ReplayStats>::finished, this, [this] {
    const ReplayStats stats = m_watcher.result();
    if (std::exchange(m_again, false)) request();
    emit computed(stats);
  });
}

StatsRunner::~StatsRunner() { m_watcher.waitForFinished(); }

void StatsRunner::request() {
  if (m_watcher.isRunning()) {
    m_again = true;
    return;
  }
  m_rows.clear();
  m_next = 0;
  m_gathering.start();
}

void StatsRunner::stop() {
  m_again = false;
  m_gathering.stop();
  m_rows = {};
}

void StatsRunner::gatherSlice() {
  QElapsedTimer slice;
  slice.start();
  // Counting may filter the rows first; the copying then waits a turn.
  const int count = m_count();
  if (slice.elapsed() >= kSliceMs) return;
  if (m_rows.capacity() < static_cast<std::size_t>(count))
    m_rows.reserve(static_cast<std::size_t>(count));
  while (m_next < count && slice.elapsed() < kSliceMs) {
    const int last = std::min(count, m_next + kSliceRows);
    m_gather(m_next, last, m_rows);
    m_next = last;
  }
  if (m_next < count) return;
  m_gathering.stop();
  m_watcher.setFuture(
      QtConcurrent::run([rows = std::exchange(m_rows, {})] { return ComputeStats(rows); }));
}

}  // namespace myzor
