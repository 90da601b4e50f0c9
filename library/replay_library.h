// The library kept between runs and kept current: the rows a folder had last
// time are shown at once from the index, only new and changed files are read,
// and the folder is followed while it is open.
#pragma once

#include <QByteArray>
#include <QFutureWatcher>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "library/core/folder_scan.h"
#include "library/core/replay_row.h"
#include "library/index/replay_index.h"
#include "library/load/replay_loader.h"
#include "library/model/library_model.h"
#include "library/userdata/user_store.h"
#include "library/watch/folder_watcher.h"

namespace myzor {

class RowFeed;

// The one object the window and the views use: the table of one folder's
// replays with its loading, its index and its watcher. Lives in the GUI
// thread, as the watcher does; the index has a thread of its own, so that
// neither its query nor its writes hold up the window. Rows read are stored
// in the index, rows dropped are removed from it.
class ReplayLibrary : public QObject {
  Q_OBJECT

 public:
  // `index_file` as for ReplayIndex.
  explicit ReplayLibrary(const QString& index_file, FolderWatcher::Timing timing = {},
                         QObject* parent = nullptr);
  ~ReplayLibrary() override;

  // The rows of the open folder.
  [[nodiscard]] LibraryModel* model() { return m_loader.model(); }
  // The open folder, an absolute path in the file system's bytes.
  [[nodiscard]] const QByteArray& root() const { return m_loader.root(); }
  // A scan or read runs; `done` of `total` files are in.
  [[nodiscard]] bool isRunning() const { return m_loader.isRunning(); }
  [[nodiscard]] qint64 done() const { return m_loader.done(); }
  [[nodiscard]] qint64 total() const { return m_loader.total(); }
  // Subfolders the last scan skipped, one line each.
  [[nodiscard]] const myzor::ScanProblems& problems() const { return m_loader.problems(); }
  // Ends the running scan or read early; the rows read so far stay, and
  // every file not read yet gets a row saying so.
  void stop() { m_loader.stop(); }
  // Reads the files whose rows say they were not read.
  void readRest() { m_loader.readRest(); }
  // Reads this file again when its size or time differ from its row's.
  void checkFile(const QByteArray& path) { m_loader.checkFile(path); }
  // Looks at these files of the open folder again: a file that is gone
  // loses its row, any other is read again and its row replaced or added.
  void refresh(const QList<QByteArray>& paths);
  // Worker threads used for reading.
  void setMaxThreads(int count) { m_loader.setMaxThreads(count); }

  // Keeps what the user knows of replays and players in `file` (see
  // UserStore); without it the rows carry none. Before the first open.
  void useStore(const QString& file);
  [[nodiscard]] bool hasStore() const { return !m_store_file.isEmpty(); }
  // One journaled edit of these files' data, on the store's thread; told
  // by notesEdited, then the rows show it.
  void editNotes(const std::vector<FileEntry>& files, const NotesChange& change);
  // Players: `names` as one person, `person` named; split again; a note.
  void mergePlayers(const QStringList& names, const QString& person);
  void splitPerson(const QString& person);
  void setPlayerNote(const QString& name, const QString& note);
  // Reads the data again (after an undo or a file batch elsewhere).
  void reloadNotes();
  // Who is who, as last read.
  [[nodiscard]] const PersonOf& persons() const { return m_persons; }
  [[nodiscard]] const std::vector<PlayerData>& players() const { return m_players; }
  // Every tag in use, as last read.
  [[nodiscard]] const QStringList& knownTags() const { return m_tags; }

  // Opens `root` (absolute, file-system bytes). With rows in the index they
  // are shown at once, and a scan on a worker then reads only the files that
  // are new or changed and drops the rows of files that are gone; without,
  // every file is read. Either way the folder is followed afterwards.
  void open(const QByteArray& root);

 signals:
  // What happened to the index itself (rebuilt, or not usable), said once.
  void indexStatus(const myzor::IndexStatus& status);
  // The folder is checked every `interval_ms` instead of followed: the system
  // cannot follow all its subfolders.
  void polling(int interval_ms);
  // The folder holds these changes; their rows are being read or dropped.
  void folderChanged(const myzor::FolderChanges& changes);
  // The folder was compared with the index: `to_read` files are read again.
  void checked(qint64 to_read, qint64 gone);

  // As the loading goes (see ReplayLoader).
  void started(const QByteArray& root);
  void scanned(qint64 total);
  void problemsFound(const myzor::ScanProblems& problems);
  void progress(qint64 done, qint64 total);
  void finished(bool stopped);
  void rowsRead(const std::vector<myzor::ReplayRow>& rows);
  void rowsRemoved(const QList<QByteArray>& paths);

  // An edit was written as batch `batch` (0: nothing changed), or refused:
  // `error` names the store and says why.
  void notesEdited(qint64 batch, const QString& error);
  // The rows show the data as now stored; persons() and knownTags() are new.
  void notesChanged();

 private:
  struct Check {
    QByteArray root;
    std::vector<FileEntry> files;
    QList<QByteArray> to_refresh;
    ScanProblems problems;
    qint64 to_read = 0;
  };
  struct Found;
  struct Remembered;

  void onRemembered(Remembered remembered);
  void onChecked();
  void apply(Check check);
  void followFound();
  void onRowsRead(const std::vector<ReplayRow>& rows);
  void onRowsRemoved(const QList<QByteArray>& paths);
  void onFolderChanged(const FolderChanges& changes);
  // On the index's thread: tells what the index has to say.
  void reportStatus();
  // Runs `work` with the index on its thread, in the order given.
  void withIndex(std::function<void(ReplayIndex&)> work);
  void stopCheck();
  // Runs `work` with the store on its thread, in the order given.
  void withStore(std::function<void(UserStore&)> work);
  // On the store's thread: hands what the store holds to the window's thread.
  void publishNotes(UserStore& store);
  // After an open: binds files found again, hashes, forgets what went long ago.
  void upkeep();

  // Declared first: it goes last, after everything that hands it work.
  ReplayLoader m_loader;
  // One thread that never ends, as a database connection belongs to its thread.
  QThreadPool m_index_thread;
  std::unique_ptr<ReplayIndex> m_index;  // used on m_index_thread only
  // Bumped by each open; the index's answer to an older one is dropped.
  quint64 m_opened = 0;
  FolderWatcher m_watcher;
  QByteArray m_root;
  QFutureWatcher<std::shared_ptr<Check>> m_check;
  std::shared_ptr<std::atomic_bool> m_stop_check;
  // The files the library's own scan found, when it reads every file.
  std::shared_ptr<Found> m_found;
  // A check that came back before the remembered rows were all in the table.
  std::optional<Check> m_waiting;
  // Remembered rows of files found cut short, followed once the folder is.
  std::vector<FileEntry> m_incomplete;
  // The remembered rows on their way to the table.
  std::shared_ptr<RowFeed> m_feed;

  QString m_store_file;
  QThreadPool m_store_thread;
  std::unique_ptr<UserStore> m_store;  // used on m_store_thread only
  PersonOf m_persons;
  std::vector<PlayerData> m_players;
  QStringList m_tags;
};

}  // namespace myzor
