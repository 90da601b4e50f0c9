// The program's window: the library's table in the middle, the details of
// the replay picked beside it, menus for everything, and the designed
// Form1 in a window of its own that follows the table.
#pragma once

#include <QByteArray>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <memory>

class DetailsPane;
class Form1;
class LibraryActions;
class NotesActions;
class LibraryPanel;
class QAction;
class QMenu;
class QSettings;
class QSplitter;

namespace myzor {
class ReplayLibrary;
struct FullRead;
}  // namespace myzor

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Shows `library`, which the window takes as its own child. `program_folder`
  // as for Form1; `settings` keeps the folder, the panes and the table's
  // columns between runs, and must outlive the window.
  MainWindow(myzor::ReplayLibrary* library, const QString& program_folder, QSettings& settings,
             QWidget* parent = nullptr);
  ~MainWindow() override;

  [[nodiscard]] Form1* form() const { return m_form; }
  [[nodiscard]] LibraryPanel* panel() const { return m_panel; }
  [[nodiscard]] DetailsPane* details() const { return m_details; }
  [[nodiscard]] myzor::ReplayLibrary* library() const { return m_library; }
  [[nodiscard]] LibraryActions* actions() const { return m_actions; }
  [[nodiscard]] NotesActions* notes() const { return m_notes; }
  // The menus by name: "file", "edit", "view", "help".
  [[nodiscard]] QMenu* menu(const QString& name) const;

  // Opens what the command line names: one folder or one replay file. With
  // none, the folder opened last with the replay shown last, or the samples
  // beside the program.
  void start(const QStringList& arguments);
  // A folder opens as the library. A file below the library's folder is
  // selected there; one elsewhere opens its own folder. Anything else is
  // reported in the status line; false then.
  bool openPath(const QString& path);
  void openFolder(const QString& folder);
  // The designed viewer's window.
  void setViewerVisible(bool visible);
  [[nodiscard]] bool isViewerVisible() const;

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildMenus();
  void showSelected(const QByteArray& path);
  // The designed viewer follows the replay picked; it reads nothing while
  // hidden and, shown, takes the details pane's read of that file or reads
  // it on a worker when the pane does not.
  void followInViewer(const QByteArray& path);
  void takeRead(std::shared_ptr<const myzor::FullRead> read);
  void readForViewer(const QByteArray& path);
  void catchUpViewer();
  void relistViewerFiles();
  void rememberRecent(const QString& folder);
  void fillRecentMenu();
  void showShortcuts();
  void showAbout();
  void saveSettings();
  void restoreSettings();
  void setupViews();
  [[nodiscard]] QString defaultFolder() const;
  [[nodiscard]] static QString pathProblem(const QString& path);

  QSettings& m_settings;
  const QString m_program_folder;
  myzor::ReplayLibrary* const m_library;
  QSplitter* const m_splitter;
  LibraryPanel* const m_panel;
  DetailsPane* const m_details;
  Form1* const m_form;
  NotesActions* m_notes = nullptr;
  LibraryActions* m_actions = nullptr;
  QMenu* m_recent = nullptr;
  QAction* m_details_action = nullptr;
  QAction* m_viewer_action = nullptr;
  // The replay the viewer is to show, its read once there is one, and the
  // replay it shows now.
  QByteArray m_viewer_path;
  std::shared_ptr<const myzor::FullRead> m_viewer_read;
  bool m_viewer_waits_for_details = false;
  QByteArray m_viewer_shown;
  bool m_viewer_files_stale = false;
  QThreadPool m_viewer_pool;
};
