#include "library/stats/stats_runner.h"

#include <QtConcurrent/QtConcurrentRun>

#include <utility>

namespace myzor {

StatsRunner::StatsRunner(Rows rows, QObject* parent) : QObject(parent), m_rows(std::move(rows)) {
  connect(&m_watcher, &QFutureWatcher<ReplayStats>::finished, this, [this] {
    const ReplayStats stats = m_watcher.result();
    if (m_again) {
      m_again = false;
      start();
    }
    emit computed(stats);
  });
}

StatsRunner::~StatsRunner() { m_watcher.waitForFinished(); }

void StatsRunner::request() {
  if (m_watcher.isRunning())
    m_again = true;
  else
    start();
}

void StatsRunner::start() {
  m_watcher.setFuture(QtConcurrent::run([rows = m_rows()] { return ComputeStats(rows); }));
}

}  // namespace myzor
