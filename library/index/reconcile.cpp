#include "library/index/reconcile.h"

#include <QHash>
#include <algorithm>
#include <utility>

namespace myzor {

KnownFile KnownFile::of(const ReplayRow& row) {
  return {row.file, (!row.ok && row.error_kind == QLatin1String("file")) || row.lacksRoster()};
}

Reconciliation Reconcile(const std::vector<KnownFile>& indexed,
                         const std::vector<FileEntry>& files) {
  QHash<QByteArray, const KnownFile*> by_path;
  by_path.reserve(static_cast<qsizetype>(indexed.size()));
  for (const KnownFile& known : indexed) by_path.insert(known.file.path, &known);

  Reconciliation out;
  for (const FileEntry& file : files) {
    const KnownFile* known = by_path.take(file.path);
    // An incomplete file (cut short or empty) changes size or time as it
    // grows, so the comparison below reads it again once it does.
    if (known == nullptr || known->file != file || known->read_again) out.to_read.push_back(file);
  }
  for (auto left = by_path.cbegin(); left != by_path.cend(); ++left) out.gone.push_back(left.key());
  std::sort(out.gone.begin(), out.gone.end());
  return out;
}

}  // namespace myzor
