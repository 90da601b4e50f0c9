#include "ui/history_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kIdRole = Qt::UserRole;
constexpr int kUndoableRole = Qt::UserRole + 1;

QString whatText(myzor::BatchKind kind) {
  switch (kind) {
    case myzor::BatchKind::rename:
      return HistoryDialog::tr("Rename");
    case myzor::BatchKind::move:
      return HistoryDialog::tr("Move");
    case myzor::BatchKind::copy:
      return HistoryDialog::tr("Copy");
    case myzor::BatchKind::trash:
      return HistoryDialog::tr("Move to trash");
    case myzor::BatchKind::notes:
      return HistoryDialog::tr("Tags and notes");
    case myzor::BatchKind::players:
      return HistoryDialog::tr("Players");
  }
  return {};
}

QString stateText(const myzor::JournalBatch& batch) {
  switch (batch.state) {
    case myzor::BatchState::running:
      return HistoryDialog::tr("Running");
    case myzor::BatchState::finished:
      return HistoryDialog::tr("Done");
    case myzor::BatchState::interrupted:
      return HistoryDialog::tr("Interrupted after %1 of %2").arg(batch.done).arg(batch.total);
    case myzor::BatchState::undone:
      return HistoryDialog::tr("Undone");
  }
  return {};
}

}  // namespace

HistoryDialog::HistoryDialog(QWidget* parent)
    : QDialog(parent),
      m_list(new QTreeWidget(this)),
      m_status(new QLabel(this)),
      m_undo(new QPushButton(tr("&Undo"), this)) {
  setObjectName(QStringLiteral("dlg_history"));
  setWindowTitle(tr("History"));
  m_list->setObjectName(QStringLiteral("tbl_history"));
  m_list->setAccessibleName(tr("Past batches, newest first"));
  m_list->setRootIsDecorated(false);
  m_list->setUniformRowHeights(true);
  m_list->setHeaderLabels({tr("When"), tr("What"), tr("Files"), tr("State")});
  m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  m_status->setObjectName(QStringLiteral("lbl_history_status"));
  m_status->setWordWrap(true);
  m_undo->setObjectName(QStringLiteral("btn_undo_batch"));
  m_undo->setToolTip(
      tr("Take the selected batch back: files go back to where they were; a file changed since is "
         "left alone"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->addButton(m_undo, QDialogButtonBox::ActionRole);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_list);
  layout->addWidget(m_status);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(m_list, &QTreeWidget::currentItemChanged, this, &HistoryDialog::updateButton);
  connect(m_undo, &QPushButton::clicked, this, [this] {
    if (const QTreeWidgetItem* item = m_list->currentItem(); item != nullptr && m_undo->isEnabled())
      emit undoRequested(item->data(0, kIdRole).toLongLong());
  });
  m_status->setText(tr("Reading the journal…"));
  resize(640, 360);
  updateButton();
}

void HistoryDialog::setBatches(const std::vector<myzor::JournalBatch>& batches,
                               const QString& error) {
  const qint64 current =
      m_list->currentItem() != nullptr ? m_list->currentItem()->data(0, kIdRole).toLongLong() : -1;
  m_list->clear();
  const QLocale locale;
  for (const myzor::JournalBatch& batch : batches) {
    auto* item = new QTreeWidgetItem(
        m_list, {locale.toString(batch.started, QLocale::ShortFormat), whatText(batch.kind),
                 locale.toString(batch.total), stateText(batch)});
    item->setData(0, kIdRole, batch.id);
    item->setData(0, kUndoableRole,
                  batch.state == myzor::BatchState::finished ||
                      batch.state == myzor::BatchState::interrupted);
    item->setToolTip(0, tr("Started by %1").arg(batch.program));
    if (batch.id == current) m_list->setCurrentItem(item);
  }
  if (m_list->currentItem() == nullptr && m_list->topLevelItemCount() > 0)
    m_list->setCurrentItem(m_list->topLevelItem(0));
  m_status->setText(!error.isEmpty()  ? error
                    : batches.empty() ? tr("No file operations yet.")
                    : batches.size() == 1
                        ? tr("One batch so far.")
                        : tr("The last %1 batches, newest first.").arg(batches.size()));
  updateButton();
}

void HistoryDialog::setBusy(bool busy) {
  m_busy = busy;
  updateButton();
}

void HistoryDialog::updateButton() {
  const QTreeWidgetItem* item = m_list->currentItem();
  m_undo->setEnabled(!m_busy && item != nullptr && item->data(0, kUndoableRole).toBool());
}
