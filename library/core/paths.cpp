#include "library/core/paths.h"

#include <QString>

namespace myzor {
namespace {

constexpr qsizetype kExtensionLength = 4;

}  // namespace

bool HasReplayExtension(QByteArrayView name) {
  return name.size() >= kExtensionLength &&
         name.last(kExtensionLength).compare(QByteArrayView(".rec"), Qt::CaseInsensitive) == 0;
}

bool HasReplayExtension(QStringView name) {
  return name.endsWith(QLatin1String(".rec"), Qt::CaseInsensitive);
}

bool IsReplayFileName(QByteArrayView name) {
  return name.size() > kExtensionLength && HasReplayExtension(name);
}

bool IsReplayFileName(QStringView name) {
  return name.size() > kExtensionLength && HasReplayExtension(name);
}

QByteArray FolderOf(const QByteArray& path) {
  const qsizetype slash = path.lastIndexOf('/');
  if (slash < 0) return QByteArrayLiteral(".");
  return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

QByteArray NameOf(const QByteArray& path) { return path.mid(path.lastIndexOf('/') + 1); }

QByteArray JoinPath(const QByteArray& folder, const QByteArray& name) {
  return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

}  // namespace myzor
