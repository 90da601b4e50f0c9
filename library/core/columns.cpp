#include "library/core/columns.h"

#include <QLocale>
#include <algorithm>

#include "library/core/local_time.h"

namespace myzor {
namespace {

// A damaged file's reason, its path given relative to the library's folder:
// the reader names the file by the absolute path it was given, which would
// push the reason out of sight.
QString statusText(const ReplayRow& row) {
  if (row.ok) return row.status();
  const QString absolute = DisplayName(row.file.path) + QStringLiteral(": ");
  if (row.error_message.startsWith(absolute))
    return row.relative_path + QStringLiteral(": ") + row.error_message.mid(absolute.size());
  return row.error_message;
}

}  // namespace

QString StarsText(int rating) {
  if (rating <= 0) return {};
  rating = std::min(rating, 5);
  return QString(rating, QChar(0x2605)) + QString(5 - rating, QChar(0x2606));
}

QStringView FileNameOf(const ReplayRow& row) {
  const QStringView path = row.relative_path;
  return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QStringView FolderNameOf(const ReplayRow& row) {
  const QStringView path = row.relative_path;
  const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
  return slash < 0 ? QStringView() : path.left(slash);
}

QString CellText(const ReplayRow& row, int column) {
  switch (column) {
    case ReplayColumns::FileColumn:
      return FileNameOf(row).toString();
    case ReplayColumns::FolderColumn:
      return FolderNameOf(row).toString();
    case ReplayColumns::ModifiedColumn:
      return LocalTimeText(row.file.mtime_ns);
    case ReplayColumns::SizeColumn:
      return QLocale().formattedDataSize(row.file.size, 1, QLocale::DataSizeTraditionalFormat);
    case ReplayColumns::GameColumn:
      return row.game;
    case ReplayColumns::MapColumn:
      return row.map;
    case ReplayColumns::PlayersColumn:
      return row.players();
    case ReplayColumns::TeamsColumn:
      return row.teams();
    case ReplayColumns::RacesColumn:
      return row.races();
    case ReplayColumns::VersionColumn:
      return row.version;
    case ReplayColumns::WinConditionsColumn:
      return row.win_conditions;
    case ReplayColumns::StatusColumn:
      return statusText(row);
    case ReplayColumns::TagsColumn:
      return row.notes ? row.notes->tags.join(QStringLiteral(", ")) : QString();
    case ReplayColumns::RatingColumn:
      return row.notes ? StarsText(row.notes->rating) : QString();
    case ReplayColumns::FavouriteColumn:
      return row.notes && row.notes->favourite ? QStringLiteral("\u2665") : QString();
    case ReplayColumns::WatchedColumn:
      return row.notes && row.notes->watched ? QStringLiteral("\u2713") : QString();
    case ReplayColumns::NoteColumn:
      // The first line: the table's cells hold one.
      return row.notes ? row.notes->note.section(u'\n', 0, 0) : QString();
    default:
      return {};
  }
}

}  // namespace myzor
