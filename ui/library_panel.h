// The library beside the designed window: the folder's replays as a table
// that sorts and searches, with the progress of the background read.
#pragma once

#include <QString>
#include <QWidget>

#include "library/core/folder_scan.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTableView;
class QToolButton;

namespace myzor {
class ReplayLibrary;
class LibraryFilter;
}  // namespace myzor

class LibraryPanel : public QWidget {
  Q_OBJECT

 public:
  explicit LibraryPanel(myzor::ReplayLibrary* library, QWidget* parent = nullptr);

  [[nodiscard]] QTableView* table() const { return m_table; }
  [[nodiscard]] QLineEdit* searchField() const { return m_search; }
  [[nodiscard]] myzor::LibraryFilter* filter() const { return m_filter; }

  // Column widths and sort order, as saved by QHeaderView.
  [[nodiscard]] QByteArray headerState() const;
  void restoreHeaderState(const QByteArray& state);

  // Checkable entries that hide and show the table's columns; the header's
  // context menu and the window's View menu share it.
  [[nodiscard]] QMenu* columnsMenu() const { return m_columns; }

  // Selects the rows of these files, as soon as they are listed; the first
  // one becomes current and is scrolled into view.
  void selectPaths(const QList<QByteArray>& paths);
  // The files of the rows selected, current first.
  [[nodiscard]] QList<QByteArray> selectedPaths() const;

  // Asks for a folder with the desktop's dialog.
  void chooseFolder();
  void focusSearch();
  // The button beside Stop that reads the files a stopped read left out.
  void setReadRestAction(QAction* action);

 signals:
  void folderChosen(const QString& folder);
  // The user moved to a row of the table: the replay's absolute path.
  void replaySelected(const QByteArray& path);
  // Enter or a double click on a row.
  void replayActivated(const QByteArray& path);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void updateCount();
  void showProgress(qint64 done, qint64 total);
  void showFinished(bool stopped);
  void showProblems(const myzor::ScanProblems& problems);
  void clearForNewFolder();
  void selectPending();
  void keepCurrentInView();

  myzor::ReplayLibrary* const m_library;
  myzor::LibraryFilter* const m_filter;
  QPushButton* const m_open;
  QLineEdit* const m_search;
  QLabel* const m_count;
  QComboBox* const m_sort;
  QLabel* const m_problems;
  QTableView* const m_table;
  QLabel* const m_progress;
  QProgressBar* const m_bar;
  QPushButton* const m_stop;
  QMenu* const m_columns;
  // Files to select when their rows arrive.
  QList<QByteArray> m_pending;
  bool m_pending_found = false;
  QByteArray m_root;
  QToolButton* const m_read_rest;
};
