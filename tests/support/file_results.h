// What a batch did to its files, as one line a test compares: the count of
// files done, skipped and failed, then each failure with its reason.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "library/core/paths.h"
#include "library/files/file_operations.h"

inline QString Tally(const std::vector<myzor::FileResult>& results) {
  int ok = 0, skipped = 0;
  QStringList failures;
  for (const myzor::FileResult& result : results) {
    if (result.ok)
      ++ok;
    else if (result.skipped)
      ++skipped;
    else
      failures << myzor::DisplayName(myzor::NameOf(result.path)) + ": " + result.error;
  }
  QString line = QStringLiteral("%1 done").arg(ok);
  if (skipped > 0) line += QStringLiteral(", %1 skipped").arg(skipped);
  if (!failures.isEmpty())
    line += QStringLiteral(", %1 failed: %2").arg(failures.size()).arg(failures.join("; "));
  return line;
}
