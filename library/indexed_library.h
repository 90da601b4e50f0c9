// The library kept between runs and kept current: the rows a folder had last
// time are shown at once from the index, only new and changed files are read,
// and the folder is followed while it is open.
#pragma once

#include "library/folder_scan.h"
#include "library/folder_watcher.h"
#include "library/replay_index.h"
#include "library/replay_row.h"

#include <QByteArray>
#include <QFutureWatcher>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace myzor {

class Library;

// Lives in the GUI thread, as the index and the watcher do. Rows read by
// `library` are stored in the index, rows it drops are removed from it.
class IndexedLibrary : public QObject {
  Q_OBJECT

 public:
  // `library` must outlive this object. `index_file` as for ReplayIndex.
  IndexedLibrary(Library* library, const QString& index_file, FolderWatcher::Timing timing = {},
                 QObject* parent = nullptr);
  ~IndexedLibrary() override;

  // Opens `root` (absolute, file-system bytes). With rows in the index they
  // are shown at once, and a scan on a worker then reads only the files that
  // are new or changed and drops the rows of files that are gone; without,
  // every file is read. Either way the folder is followed afterwards.
  void open(const QByteArray& root);

 signals:
  // A line for the status bar, each said once.
  void statusChanged(const QString& text);
  // The folder holds these changes; their rows are being read or dropped.
  void folderChanged(const myzor::FolderChanges& changes);
  // The folder was compared with the index: `to_read` files are read again.
  void checked(qint64 to_read, qint64 gone);

 private:
  struct Check {
    QByteArray root;
    std::vector<FileEntry> files;
    QList<QByteArray> to_refresh;
    QStringList problems;
    qint64 to_read = 0;
  };
  struct Found;

  void onChecked();
  void apply(Check check);
  void followFound();
  void onRowsRead(const std::vector<ReplayRow>& rows);
  void onRowsRemoved(const QList<QByteArray>& paths);
  void onFolderChanged(const FolderChanges& changes);
  void refresh(const QList<QByteArray>& paths);
  void reportStatus();
  void stopCheck();

  Library* const m_library;
  ReplayIndex m_index;
  FolderWatcher m_watcher;
  QByteArray m_root;
  QFutureWatcher<Check> m_check;
  std::shared_ptr<std::atomic_bool> m_stop_check;
  // The files the library's own scan found, when it reads every file.
  std::shared_ptr<Found> m_found;
  // A check that came back before the remembered rows were all in the table.
  std::optional<Check> m_waiting;
  // Remembered rows of files found cut short, followed once the folder is.
  std::vector<FileEntry> m_incomplete;
};

}  // namespace myzor
