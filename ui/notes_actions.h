// What the user knows of the replays selected, set for all of them at once:
// tags added and taken away, a rating, the favourite and watched marks. Each
// action is one journaled batch (Undo and History take it back).
#pragma once

#include <QList>
#include <QObject>
#include <QStringList>
#include <functional>
#include <vector>

#include "library/core/replay_row.h"

class LibraryPanel;
class QAction;
class QMenu;
class QWidget;

namespace myzor {
class ReplayLibrary;
struct NotesChange;
}  // namespace myzor

class NotesActions : public QObject {
  Q_OBJECT

 public:
  // The actions' keys work while `panel` (its table or search) has focus;
  // the table's context menu gets menu().
  NotesActions(myzor::ReplayLibrary* library, LibraryPanel* panel, QWidget* window);

  [[nodiscard]] QMenu* menu() const { return m_menu; }

  // Stand-in for the dialog that asks for a tag: `title`, the tags offered,
  // the answer (empty to cancel).
  using TagChooser = std::function<QString(const QString& title, const QStringList& offered)>;
  void setTagChooser(TagChooser chooser) { m_choose_tag = std::move(chooser); }

  // For tests and the keys: the same as the menu's entries.
  void addTag();
  void removeTag();
  void rate(int rating);
  void toggleFavourite();
  void toggleWatched();

 private:
  [[nodiscard]] std::vector<myzor::FileEntry> selectedFiles(
      std::vector<std::shared_ptr<const myzor::ReplayNotes>>* notes = nullptr) const;
  void apply(const myzor::NotesChange& change);
  QAction* add(const char* name, const QString& text, const QKeySequence& keys,
               std::function<void()> slot);

  myzor::ReplayLibrary* m_library;
  LibraryPanel* m_panel;
  QWidget* m_window;
  QMenu* m_menu;
  TagChooser m_choose_tag;
};
