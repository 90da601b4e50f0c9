// What the user knows of one replay, shown and edited in the details pane:
// tags (completed from the tags in use), a rating in stars, the favourite
// and watched marks, and a note of several lines.
#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

#include "library/core/replay_row.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QStringListModel;
class QToolButton;

class NotesEditor : public QWidget {
  Q_OBJECT

 public:
  explicit NotesEditor(QWidget* parent = nullptr);

  // Shows `notes` (none: empty) for a replay, unless the same replay's
  // note is being typed: what is typed is not thrown away.
  void setNotes(const myzor::ReplayNotes* notes, bool same_replay);
  [[nodiscard]] myzor::ReplayNotes notes() const;
  // The tags the field completes.
  void setKnownTags(const QStringList& tags);

 signals:
  // The user changed something; `notes` is the whole of it now.
  void edited(const myzor::ReplayNotes& notes);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void setRating(int rating);
  void commit();

  QLineEdit* m_tags;
  QStringListModel* m_known;
  QList<QToolButton*> m_stars;
  int m_rating = 0;
  QCheckBox* m_favourite;
  QCheckBox* m_watched;
  QPlainTextEdit* m_note;
  myzor::ReplayNotes m_shown;
};
