#include "ui/notes_editor.h"

#include <QCheckBox>
#include <QCompleter>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStringListModel>
#include <QToolButton>

#include "library/userdata/user_store.h"

namespace {

// Completes the tag after the last comma, keeping the ones before.
class TagCompleter : public QCompleter {
 public:
  using QCompleter::QCompleter;
  [[nodiscard]] QStringList splitPath(const QString& path) const override {
    return {path.section(u',', -1).trimmed()};
  }
  [[nodiscard]] QString pathFromIndex(const QModelIndex& index) const override {
    const QString typed = static_cast<QLineEdit*>(widget())->text();
    const qsizetype comma = typed.lastIndexOf(u',');
    const QString tag = QCompleter::pathFromIndex(index);
    return comma < 0 ? tag : typed.left(comma + 1) + u' ' + tag;
  }
};

}  // namespace

NotesEditor::NotesEditor(QWidget* parent)
    : QWidget(parent),
      m_tags(new QLineEdit(this)),
      m_known(new QStringListModel(this)),
      m_favourite(new QCheckBox(tr("Favourite"), this)),
      m_watched(new QCheckBox(tr("Watched"), this)),
      m_note(new QPlainTextEdit(this)) {
  setObjectName(QStringLiteral("notes_editor"));
  auto* form = new QFormLayout(this);
  form->setContentsMargins(0, 0, 0, 0);

  m_tags->setObjectName(QStringLiteral("txt_tags"));
  m_tags->setAccessibleName(tr("Tags"));
  m_tags->setPlaceholderText(tr("review, to study"));
  m_tags->setToolTip(tr("Tags of this replay, commas between; Enter keeps them"));
  auto* completer = new TagCompleter(m_known, this);
  completer->setCaseSensitivity(Qt::CaseInsensitive);
  completer->setFilterMode(Qt::MatchStartsWith);
  m_tags->setCompleter(completer);
  connect(m_tags, &QLineEdit::editingFinished, this, &NotesEditor::commit);
  form->addRow(tr("&Tags:"), m_tags);

  auto* stars = new QHBoxLayout;
  stars->setSpacing(0);
  for (int star = 1; star <= 5; ++star) {
    auto* button = new QToolButton(this);
    button->setObjectName(QStringLiteral("btn_star_%1").arg(star));
    button->setAutoRaise(true);
    button->setAccessibleName(tr("%n star(s)", nullptr, star));
    button->setToolTip(tr("Rate %n of 5; again to take the rating away", nullptr, star));
    connect(button, &QToolButton::clicked, this, [this, star] {
      setRating(m_rating == star ? 0 : star);
      commit();
    });
    stars->addWidget(button);
    m_stars.append(button);
  }
  stars->addStretch(1);
  form->addRow(tr("Rating:"), stars);

  auto* marks = new QHBoxLayout;
  m_favourite->setObjectName(QStringLiteral("chk_favourite"));
  m_watched->setObjectName(QStringLiteral("chk_watched"));
  for (QCheckBox* mark : {m_favourite, m_watched}) {
    connect(mark, &QCheckBox::clicked, this, &NotesEditor::commit);
    marks->addWidget(mark);
  }
  marks->addStretch(1);
  form->addRow(QString(), marks);

  m_note->setObjectName(QStringLiteral("txt_note"));
  m_note->setAccessibleName(tr("Note"));
  m_note->setPlaceholderText(tr("Why it was won or lost, what to study…"));
  m_note->setToolTip(tr("Kept when you leave the field"));
  m_note->setTabChangesFocus(true);
  m_note->setFixedHeight(m_note->fontMetrics().lineSpacing() * 4 + 12);
  m_note->installEventFilter(this);
  form->addRow(tr("&Note:"), m_note);
  setRating(0);
}

void NotesEditor::setNotes(const myzor::ReplayNotes* notes, bool same_replay) {
  const myzor::ReplayNotes shown = notes != nullptr ? *notes : myzor::ReplayNotes();
  const bool typing = same_replay && m_note->hasFocus();
  m_shown = shown;
  if (!(same_replay && m_tags->hasFocus())) m_tags->setText(shown.tags.join(QStringLiteral(", ")));
  setRating(shown.rating);
  m_favourite->setChecked(shown.favourite);
  m_watched->setChecked(shown.watched);
  if (!typing) m_note->setPlainText(shown.note);
}

myzor::ReplayNotes NotesEditor::notes() const {
  myzor::ReplayNotes notes;
  notes.tags = myzor::SplitTags(m_tags->text());
  notes.rating = m_rating;
  notes.favourite = m_favourite->isChecked();
  notes.watched = m_watched->isChecked();
  notes.note = m_note->toPlainText();
  return notes;
}

void NotesEditor::setKnownTags(const QStringList& tags) {
  if (m_known->stringList() != tags) m_known->setStringList(tags);
}

void NotesEditor::setRating(int rating) {
  m_rating = rating;
  for (int i = 0; i < m_stars.size(); ++i)
    m_stars[i]->setText(i < rating ? QStringLiteral("\u2605") : QStringLiteral("\u2606"));
  for (QToolButton* star : std::as_const(m_stars))
    star->setAccessibleDescription(tr("Rated %n of 5", nullptr, rating));
}

void NotesEditor::commit() {
  const myzor::ReplayNotes now = notes();
  if (now == m_shown) return;
  m_shown = now;
  emit edited(now);
}

bool NotesEditor::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_note && event->type() == QEvent::FocusOut) commit();
  return QWidget::eventFilter(watched, event);
}
