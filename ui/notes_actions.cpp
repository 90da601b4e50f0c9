#include "ui/notes_actions.h"

#include <QAction>
#include <QComboBox>
#include <QCompleter>
#include <QDialog>
#include <QDialogButtonBox>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QSet>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "library/model/library_filter.h"
#include "library/model/library_model.h"
#include "library/replay_library.h"
#include "library/userdata/user_store.h"
#include "ui/library_panel.h"

namespace {

// Asks for one tag, completing from `offered` and accepting a new one.
QString askTag(QWidget* parent, const QString& title, const QStringList& offered) {
  QDialog dialog(parent);
  dialog.setWindowTitle(title);
  auto* layout = new QVBoxLayout(&dialog);
  auto* label = new QLabel(NotesActions::tr("&Tag:"), &dialog);
  auto* tag = new QComboBox(&dialog);
  tag->setObjectName(QStringLiteral("cmb_tag"));
  tag->setAccessibleName(NotesActions::tr("Tag"));
  tag->setEditable(true);
  tag->addItems(offered);
  tag->setCurrentText(QString());
  tag->completer()->setCaseSensitivity(Qt::CaseInsensitive);
  tag->completer()->setCompletionMode(QCompleter::PopupCompletion);
  label->setBuddy(tag);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(label);
  layout->addWidget(tag);
  layout->addWidget(buttons);
  tag->setFocus();
  return dialog.exec() == QDialog::Accepted ? myzor::CleanTag(tag->currentText()) : QString();
}

}  // namespace

NotesActions::NotesActions(myzor::ReplayLibrary* library, LibraryPanel* panel, QWidget* window)
    : QObject(window),
      m_library(library),
      m_panel(panel),
      m_window(window),
      m_menu(new QMenu(tr("&Tags and rating"), window)) {
  m_menu->setObjectName(QStringLiteral("menu_notes"));
  m_choose_tag = [this](const QString& title, const QStringList& offered) {
    return askTag(m_window, title, offered);
  };
  add("act_add_tag", tr("Add tag…"), QKeySequence(Qt::CTRL | Qt::Key_T), [this] {
    addTag();
  })->setToolTip(tr("Give the selected replays a tag (Ctrl+T)"));
  add("act_remove_tag", tr("Remove tag…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T), [this] {
    removeTag();
  })->setToolTip(tr("Take a tag away from the selected replays (Ctrl+Shift+T)"));
  m_menu->addSeparator();
  for (int rating = 0; rating <= 5; ++rating) {
    const QString text = rating == 0 ? tr("No rating") : myzor::StarsText(rating);
    QAction* action = add(qPrintable(QStringLiteral("act_rate_%1").arg(rating)), text,
                          QKeySequence(Qt::ALT | static_cast<Qt::Key>(Qt::Key_0 + rating)),
                          [this, rating] { rate(rating); });
    action->setToolTip(rating == 0 ? tr("Take the rating away")
                                   : tr("Rate %n of 5", nullptr, rating));
  }
  m_menu->addSeparator();
  add("act_favourite", tr("Favourite"), QKeySequence(Qt::CTRL | Qt::Key_D), [this] {
    toggleFavourite();
  })->setToolTip(tr("Mark the selected replays as favourites, or unmark them (Ctrl+D)"));
  add("act_watched", tr("Watched"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W), [this] {
    toggleWatched();
  })->setToolTip(tr("Mark the selected replays as watched, or unmark them (Ctrl+Shift+W)"));
  QTableView* table = panel->table();
  table->addAction(m_menu->menuAction());
}

QAction* NotesActions::add(const char* name, const QString& text, const QKeySequence& keys,
                           std::function<void()> slot) {
  auto* action = new QAction(text, this);
  action->setObjectName(QString::fromLatin1(name));
  action->setShortcut(keys);
  // Typing in the search field or the table; not in the details pane's note.
  action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(action, &QAction::triggered, this, std::move(slot));
  m_menu->addAction(action);
  m_panel->addAction(action);
  return action;
}

std::vector<myzor::FileEntry> NotesActions::selectedFiles(
    std::vector<std::shared_ptr<const myzor::ReplayNotes>>* notes) const {
  std::vector<myzor::FileEntry> files;
  const QModelIndexList selected = m_panel->table()->selectionModel()->selectedRows();
  files.reserve(static_cast<std::size_t>(selected.size()));
  const myzor::LibraryModel* model = m_library->model();
  for (const QModelIndex& index : selected) {
    const myzor::ReplayRow& row = model->row(m_panel->filter()->mapToSource(index).row());
    files.push_back(row.file);
    if (notes != nullptr) notes->push_back(row.notes);
  }
  return files;
}

void NotesActions::apply(const myzor::NotesChange& change) {
  std::vector<myzor::FileEntry> files = selectedFiles();
  if (files.empty() || change.isEmpty()) return;
  m_library->editNotes(files, change);
}

void NotesActions::addTag() {
  if (selectedFiles().empty()) return;
  const QString tag = m_choose_tag(tr("Add tag"), m_library->knownTags());
  if (tag.isEmpty()) return;
  myzor::NotesChange change;
  change.add = {tag};
  apply(change);
}

void NotesActions::removeTag() {
  std::vector<std::shared_ptr<const myzor::ReplayNotes>> notes;
  if (selectedFiles(&notes).empty()) return;
  // The tags the selection holds are offered.
  QStringList held;
  QSet<QString> seen;
  for (const auto& one : notes) {
    if (!one) continue;
    for (const QString& tag : one->tags)
      if (!seen.contains(tag)) {
        seen.insert(tag);
        held << tag;
      }
  }
  held.sort(Qt::CaseInsensitive);
  const QString tag = m_choose_tag(tr("Remove tag"), held);
  if (tag.isEmpty()) return;
  myzor::NotesChange change;
  change.remove = {tag};
  apply(change);
}

void NotesActions::rate(int rating) {
  myzor::NotesChange change;
  change.rating = rating;
  apply(change);
}

// Marks them all, unless all are marked already: then unmarks them all.
void NotesActions::toggleFavourite() {
  std::vector<std::shared_ptr<const myzor::ReplayNotes>> notes;
  if (selectedFiles(&notes).empty()) return;
  myzor::NotesChange change;
  change.favourite = !std::all_of(notes.cbegin(), notes.cend(),
                                  [](const auto& one) { return one && one->favourite; });
  apply(change);
}

void NotesActions::toggleWatched() {
  std::vector<std::shared_ptr<const myzor::ReplayNotes>> notes;
  if (selectedFiles(&notes).empty()) return;
  myzor::NotesChange change;
  change.watched = !std::all_of(notes.cbegin(), notes.cend(),
                                [](const auto& one) { return one && one->watched; });
  apply(change);
}
