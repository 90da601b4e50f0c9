// Reading one replay file in full, pictures included, for whatever shows a
// single replay: the one place that catches what a full read can throw.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

#include "replay/replay.h"

namespace myzor {

struct FullRead {
  QByteArray path;
  bool ok = false;
  zor_rep_reader::ReplayInfo replay;  // as read, when ok
  QStringList actions;                // what the reader said as it went, in order
  // When !ok: the reader's kind of error ("format", "file", ...), the byte
  // offset where it applies, the whole message (it names the file) and the
  // same without the path in front, for a view that names the file already.
  QString error_kind;
  std::optional<qint64> error_offset;
  QString error_message;
  QString error_reason;
};

// Never throws: a file that cannot be read gets its error instead.
[[nodiscard]] FullRead ReadInFull(const QByteArray& path);
// How many full reads this process has made, so that a pick can be shown to
// read its file once for every view that shows it.
[[nodiscard]] qint64 FullReads();

}  // namespace myzor
