#include "ui/map_pictures.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>

namespace {

// The file in `folder` called `file_name`, or, failing that, one whose name
// differs from it only in case. Empty when there is none.
QString findFileIgnoringCase(const QString& folder, const QString& file_name) {
  const QDir dir(folder);
  const QString exact = dir.filePath(file_name);
  if (QFileInfo(exact).isFile()) return exact;
  const QFileInfoList entries = dir.entryInfoList(QDir::Files, QDir::Name);
  for (const QFileInfo& entry : entries) {
    if (entry.fileName().compare(file_name, Qt::CaseInsensitive) == 0) return entry.filePath();
  }
  return {};
}

}  // namespace

bool isPlainFileNamePart(const QString& name) {
  return std::none_of(name.begin(), name.end(), [](QChar c) {
    return c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':') ||
           c.category() == QChar::Other_Control;
  });
}

QStringList mapPictureFolders(const QString& program_folder) {
  QStringList folders{QDir(program_folder).filePath(QStringLiteral("pics"))};
  // The application data folders of "myzor", named here rather than taken
  // from the application's name, so they stay where the install puts the
  // pictures whatever the running program calls itself.
  for (const QString& data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
    folders << QDir(data).filePath(QStringLiteral("myzor/pics"));
  folders.removeDuplicates();
  return folders;
}

QString findMapPicture(const QStringList& folders, const QString& map_name) {
  if (!isPlainFileNamePart(map_name)) return {};
  const QString wanted = map_name + QStringLiteral(".gif");
  for (const QString& folder : folders) {
    const QString file = findFileIgnoringCase(folder, wanted);
    if (!file.isEmpty()) return file;
  }
  return {};
}
