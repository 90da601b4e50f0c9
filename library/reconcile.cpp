#include "library/reconcile.h"

#include <QHash>

#include <algorithm>
#include <utility>

namespace myzor {

Reconciliation Reconcile(std::vector<ReplayRow> indexed, const std::vector<FileEntry>& files) {
  QHash<QByteArray, ReplayRow*> by_path;
  by_path.reserve(static_cast<qsizetype>(indexed.size()));
  for (ReplayRow& row : indexed) by_path.insert(row.file.path, &row);

  Reconciliation out;
  for (const FileEntry& file : files) {
    ReplayRow* row = by_path.take(file.path);
    // An incomplete file (cut short or empty) changes size or time as it
    // grows, so the comparison below reads it again once it does.
    if (row != nullptr && row->file == file && (row->ok || row->error_kind != QLatin1String("file")))
      out.current.push_back(std::move(*row));
    else
      out.to_read.push_back(file);
  }
  for (auto left = by_path.cbegin(); left != by_path.cend(); ++left) out.gone.push_back(left.key());
  std::sort(out.gone.begin(), out.gone.end());
  return out;
}

}  // namespace myzor
