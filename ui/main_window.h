// The program's window: the designed Form1 at the top left, the library
// panel to its right.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>

class Form1;
class LibraryActions;
class LibraryPanel;
class QSettings;
class QSplitter;
class QPushButton;

namespace myzor {
class IndexedLibrary;
class Library;
}

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // `program_folder` as for Form1; `settings` keeps the folder, the panel and
  // the table's columns between runs, and must outlive the window. The
  // library's rows are kept in the index at `index_file` (empty: the user's
  // cache folder).
  MainWindow(const QString& program_folder, QSettings& settings, const QString& index_file = QString(),
             QWidget* parent = nullptr);
  ~MainWindow() override;

  [[nodiscard]] Form1* form() const { return m_form; }
  [[nodiscard]] LibraryPanel* panel() const { return m_panel; }
  [[nodiscard]] myzor::Library* library() const { return m_library; }
  [[nodiscard]] LibraryActions* actions() const { return m_actions; }

  // Opens what the command line names: one folder or one replay file. With
  // none, the folder opened last, or the samples beside the program.
  void start(const QStringList& arguments);
  // A folder opens as the library; a file opens its folder and shows it.
  // Anything else is reported in the status line; false then.
  bool openPath(const QString& path);
  void openFolder(const QString& folder);
  void setLibraryVisible(bool visible);
  [[nodiscard]] bool isLibraryVisible() const;

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void saveSettings();
  void setupLibraryActions();
  void setupViews();
  [[nodiscard]] QString defaultFolder() const;
  [[nodiscard]] static QString pathProblem(const QString& path);

  QSettings& m_settings;
  const QString m_program_folder;
  myzor::Library* const m_library;
  myzor::IndexedLibrary* const m_indexed;
  QSplitter* const m_splitter;
  Form1* const m_form;
  LibraryPanel* const m_panel;
  QPushButton* const m_toggle;
  LibraryActions* m_actions = nullptr;
  int m_panel_width = 620;  // the panel's width when last shown; at first a default
};
