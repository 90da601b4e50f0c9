#include "library/core/local_time.h"

#include <QDateTime>
#include <chrono>
#include <cstdio>
#include <limits>
#include <unordered_map>

namespace myzor {
namespace {

constexpr std::int64_t kDaySeconds = 86'400;
// A day with a change of offset in it: each time is asked for on its own.
constexpr int kChanging = std::numeric_limits<int>::min();
// Past this many days the remembered offsets start again, so that a long
// session does not keep every day it ever saw.
constexpr std::size_t kMostDays = 1 << 16;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
  return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

int systemOffset(std::int64_t secs) {
  return QDateTime::fromSecsSinceEpoch(secs, Qt::LocalTime).offsetFromUtc();
}

// Local time's offset from UTC, in seconds, at `secs` since the epoch.
int offsetAt(std::int64_t secs) {
  // Per thread: rows are made on several workers at once.
  thread_local std::unordered_map<std::int64_t, int> days;  // UTC day -> its offset
  const std::int64_t day = floorDiv(secs, kDaySeconds);
  auto known = days.find(day);
  if (known == days.end()) {
    if (days.size() >= kMostDays) days.clear();
    const int first = systemOffset(day * kDaySeconds);
    const int last = systemOffset(day * kDaySeconds + kDaySeconds - 1);
    known = days.emplace(day, first == last ? first : kChanging).first;
  }
  return known->second == kChanging ? systemOffset(secs) : known->second;
}

}  // namespace

QString LocalTimeText(std::int64_t mtime_ns, bool seconds) {
  // Whole milliseconds first, as QDateTime takes them.
  const std::int64_t msecs = mtime_ns / 1'000'000;
  const std::int64_t secs = floorDiv(msecs, 1000);
  const std::int64_t local = secs + offsetAt(secs);
  const std::int64_t day = floorDiv(local, kDaySeconds);
  const std::int64_t in_day = local - day * kDaySeconds;
  const std::chrono::year_month_day date{std::chrono::sys_days{std::chrono::days{day}}};
  const int year = static_cast<int>(date.year());
  if (year < 1000 || year > 9999) {
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::LocalTime)
        .toString(seconds ? QStringLiteral("yyyy-MM-dd HH:mm:ss")
                          : QStringLiteral("yyyy-MM-dd HH:mm"));
  }
  char text[24];
  const int length =
      seconds
          ? std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", year,
                          static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                          static_cast<int>(in_day / 3600), static_cast<int>(in_day / 60 % 60),
                          static_cast<int>(in_day % 60))
          : std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d", year,
                          static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                          static_cast<int>(in_day / 3600), static_cast<int>(in_day / 60 % 60));
  return QString::fromLatin1(text, length);
}

}  // namespace myzor
