#include "library/sqlite/damaged_file.h"

#include <QDateTime>
#include <QFile>

namespace myzor {

bool IsDamage(const QSqlError& error) {
  // SQLITE_CORRUPT and SQLITE_NOTADB, with or without an extended code.
  const int code = error.nativeErrorCode().toInt() & 0xff;
  return code == 11 || code == 26;
}

bool SetAsideDamaged(const QString& file, QString& aside) {
  const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
  aside = QStringLiteral("%1.damaged-%2").arg(file, stamp);
  for (int n = 2; QFile::exists(aside); ++n)
    aside = QStringLiteral("%1.damaged-%2-%3").arg(file, stamp).arg(n);
  if (QFile::exists(file) && !QFile::rename(file, aside)) return false;
  // A log left beside a new database would be replayed into it.
  for (const QString& suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")}) {
    if (QFile::exists(file + suffix) && !QFile::rename(file + suffix, aside + suffix) &&
        !QFile::remove(file + suffix))
      return false;
  }
  return true;
}

}  // namespace myzor
