// Modification times as the user's clock shows them, for many files at once.
#pragma once

#include <QString>
#include <cstdint>

namespace myzor {

// "yyyy-MM-dd HH:mm" (with ":ss" when `seconds`) of a modification time in
// nanoseconds since the epoch, in local time. The system's offset from UTC is
// asked once per day of the files, not once per file: asking it means a
// look at the time zone file each time, which dominated making 100,000 rows.
[[nodiscard]] QString LocalTimeText(std::int64_t mtime_ns, bool seconds = false);

}  // namespace myzor
