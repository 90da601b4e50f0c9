#include "library/core/local_time.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

// Each zone on a thread of its own: what is remembered of a zone's days
// belongs to the thread that asked.
class LocalTimeTest : public testing::TestWithParam<const char*> {
 protected:
  void TearDown() override {
    if (m_old.has_value()) {
      setenv("TZ", m_old->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  std::optional<std::string> m_old =
      std::getenv("TZ") ? std::optional<std::string>(std::getenv("TZ")) : std::nullopt;
};

TEST_P(LocalTimeTest, ShowsWhatTheSystemClockShowsAlsoAroundChangesOfOffset) {
  const std::string zone = GetParam();
  if (!std::filesystem::exists("/usr/share/zoneinfo/" + zone))
    GTEST_SKIP() << "no time zone data for " << zone;
  setenv("TZ", zone.c_str(), 1);
  tzset();
  // Every quarter hour over days with changes of offset in many zones, and
  // times before 1970 and far ahead.
  std::vector<std::int64_t> seconds;
  for (const std::int64_t start :
       {1711846800LL - 2 * 86400, 1729994400LL - 2 * 86400, 1696089600LL - 86400,
        1680364800LL - 86400, 1710054000LL - 86400, -1LL, -86'400LL * 400, 4102444800LL}) {
    for (std::int64_t s = start; s < start + 4 * 86400; s += 900) seconds.push_back(s);
  }
  std::thread([&seconds] {
    for (const std::int64_t s : seconds) {
      for (const std::int64_t ns : {s * 1'000'000'000 + 999'999'999, s * 1'000'000'000}) {
        const QDateTime time = QDateTime::fromMSecsSinceEpoch(ns / 1'000'000, Qt::LocalTime);
        ASSERT_EQ(myzor::LocalTimeText(ns), time.toString(QStringLiteral("yyyy-MM-dd HH:mm")))
            << ns;
        ASSERT_EQ(myzor::LocalTimeText(ns, true),
                  time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
            << ns;
      }
    }
  }).join();
}

INSTANTIATE_TEST_SUITE_P(Zones, LocalTimeTest,
                         testing::Values("UTC", "Europe/Berlin", "America/New_York",
                                         "Australia/Lord_Howe", "Asia/Kathmandu",
                                         "America/St_Johns"));

}  // namespace
