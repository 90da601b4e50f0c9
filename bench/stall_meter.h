// How late the window's event loop ever ran: a timer due every 5 ms records
// how much later than that it got its turn.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <fstream>
#include <string>
#include <utility>

// The time the machine's processors were held by the host of this virtual
// machine since it booted ("steal" in /proc/stat), in ms; 0 where unknown.
// While it is held no thread of ours runs, the window's neither.
inline long long StolenMs() {
  std::ifstream stat("/proc/stat");
  std::string cpu;
  long long field = 0;
  long long steal = 0;
  stat >> cpu;
  for (int i = 0; i < 8 && stat >> field; ++i) steal = field;
  return cpu == "cpu" ? steal * 10 : 0;  // USER_HZ ticks of 10 ms
}

class StallMeter {
 public:
  StallMeter() {
    m_ticker.setTimerType(Qt::PreciseTimer);
    m_ticker.setInterval(static_cast<int>(kTickMs));
    QObject::connect(&m_ticker, &QTimer::timeout, [this] {
      m_most_ms = std::max(m_most_ms, m_since_tick.elapsed() - kTickMs);
      m_since_tick.restart();
    });
  }
  void start() {
    m_ticker.start();
    m_since_tick.start();
  }
  [[nodiscard]] qint64 mostMs() const { return m_most_ms; }
  // The most so far, and counting starts again.
  qint64 takeMostMs() {
    m_since_tick.restart();
    return std::exchange(m_most_ms, 0);
  }

 private:
  static constexpr qint64 kTickMs = 5;
  QTimer m_ticker;
  QElapsedTimer m_since_tick;
  qint64 m_most_ms = 0;
};
