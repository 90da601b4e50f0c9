// What the user can do with the replays selected in the library's table:
// rename by pattern, trash, copy, move, show, copy the path; export the rows
// shown; undo the last batch, see the history and find duplicates. Each
// operation runs on a worker thread, is journaled before it changes a file,
// ends with the table current and one line for the status bar. At start a
// batch that was cut short is offered for Undo or Finish, once.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "library/core/replay_row.h"
#include "library/export/export_rows.h"
#include "library/files/file_operations.h"

class BatchController;
class HistoryDialog;
struct BatchReport;
class LibraryPanel;
class QAction;
class QSettings;
class QWidget;

namespace myzor {
class ReplayLibrary;
}

class LibraryActions : public QObject {
  Q_OBJECT

 public:
  // The actions act on `panel`'s table, with their shortcuts while it has focus.
  LibraryActions(myzor::ReplayLibrary* library, LibraryPanel* panel, QSettings& settings,
                 QWidget* window);
  // Cancels a running copy or move and waits for it to end.
  ~LibraryActions() override;

  // Stand-ins for the desktop's dialogs: a folder for copy and move (empty to
  // cancel), and a file to export to with the filter picked.
  using FolderChooser = std::function<QString(const QString& title)>;
  using ExportChooser = std::function<QString(const QStringList& filters, QString* picked)>;
  void setFolderChooser(FolderChooser chooser);
  void setExportChooser(ExportChooser chooser) { m_choose_export = std::move(chooser); }
  // Asked once per copy or move when `clashes` of its names are taken in the
  // target folder: what to do with those, or nothing to cancel the batch.
  using ClashChooser = std::function<std::optional<myzor::ClashPolicy>(int clashes)>;
  void setClashChooser(ClashChooser chooser);

  [[nodiscard]] bool isBusy() const;
  // What runs the batches, for a test that answers its questions itself.
  [[nodiscard]] BatchController* batches() const { return m_batches; }

  // Every action, for the menus; those on the selection are also the table's
  // context menu.
  struct Actions {
    QAction* rename = nullptr;
    QAction* trash = nullptr;
    QAction* copy_to = nullptr;
    QAction* move_to = nullptr;
    QAction* show_folder = nullptr;
    QAction* copy_path = nullptr;
    QAction* undo = nullptr;
    QAction* find_duplicates = nullptr;
    QAction* history = nullptr;
    QAction* export_rows = nullptr;
    QAction* read_rest = nullptr;
  };
  [[nodiscard]] const Actions& actions() const { return m_actions; }

  void renameSelected();
  // Takes back the last batch of any kind, from the journal (also one made
  // before a restart or by myzor-rename).
  void undoRename();
  void showHistory();
  void findDuplicates();
  void trashSelected();
  void copySelected();
  void moveSelected();
  void showInFileManager();
  void copyPaths();
  void exportShown();
  void readRest();

 signals:
  // A line for the status bar: what an operation did.
  void message(const QString& text);
  // Files of the folder were renamed, moved or trashed.
  void filesChanged();

 private:
  class WindowQuestions;
  [[nodiscard]] std::vector<myzor::ReplayRow> selectedRows() const;
  [[nodiscard]] std::vector<myzor::ReplayRow> shownRows() const;
  QAction* addAction(const char* name, const QString& text, const QKeySequence& keys,
                     void (LibraryActions::*slot)());
  void updateActions();
  // Says what a batch did and keeps the selection on the files it put in the folder.
  void batchEnded(const BatchReport& report);
  void selectArrived(const std::vector<myzor::ReplayRow>& rows);
  void refreshHistory();

  myzor::ReplayLibrary* const m_library;
  LibraryPanel* const m_panel;
  QSettings& m_settings;
  QWidget* const m_window;
  ExportChooser m_choose_export;
  std::unique_ptr<WindowQuestions> m_questions;
  BatchController* m_batches = nullptr;
  QPointer<HistoryDialog> m_history;
  // Files an operation put in the folder, to select when their rows arrive.
  QSet<QByteArray> m_reselect;
  // The row whose file left the folder, for its neighbour to take its place.
  int m_neighbour_row = -1;
  QList<QAction*> m_selection_actions;
  Actions m_actions;
};
