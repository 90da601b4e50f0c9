#include "library/export/export_rows.h"

#include <QSaveFile>
#include <utility>

#include "library/core/local_time.h"
#include "library/core/paths.h"
#include "library/export/replay_json.h"

namespace myzor {
namespace {

void appendCell(QByteArray& out, QString text) {
  // Names come from replay files anyone can make; keep them from running as formulas.
  if (!text.isEmpty() && QStringLiteral("=+-@\t\r").contains(text[0]))
    text.prepend(QLatin1Char('\''));
  const QByteArray bytes = text.toUtf8();
  if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\n') || bytes.contains('\r')) {
    out.append('"').append(QByteArray(bytes).replace("\"", "\"\"")).append('"');
  } else {
    out.append(bytes);
  }
}

}  // namespace

QByteArray RowsToCsv(const std::vector<ReplayRow>& rows) {
  QByteArray out =
      "File,Modified,Size,Game,Map,Players,Teams,Races,Version,Win conditions,Status\r\n";
  for (const ReplayRow& row : rows) {
    const QString modified = LocalTimeText(row.file.mtime_ns, true);
    const QString cells[] = {row.relative_path,  modified,    QString::number(row.file.size),
                             row.game,           row.map,     row.players(),
                             row.teams(),        row.races(), row.version,
                             row.win_conditions, row.status()};
    bool first = true;
    for (const QString& cell : cells) {
      if (!std::exchange(first, false)) out.append(',');
      appendCell(out, cell);
    }
    out.append("\r\n");
  }
  return out;
}

QByteArray RowsToJsonLines(const std::vector<ReplayRow>& rows) {
  QByteArray out;
  for (const ReplayRow& row : rows) {
    const std::string line = FileJsonLine(row.file.path.toStdString());
    out.append(line.data(), static_cast<qsizetype>(line.size()));
  }
  return out;
}

QString WriteExport(const QString& path, const QByteArray& contents) {
  if (HasReplayExtension(path))
    return QStringLiteral("%1: will not write an export over a replay file").arg(path);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size() || !file.commit())
    return QStringLiteral("%1: %2").arg(path, file.errorString());
  return {};
}

}  // namespace myzor
