// Edit ▸ History…: the batches of file operations, newest first, each of which
// can be undone.
#pragma once

#include <QDialog>
#include <vector>

#include "library/journal/journal.h"

class QLabel;
class QPushButton;
class QTreeWidget;

class HistoryDialog : public QDialog {
  Q_OBJECT

 public:
  explicit HistoryDialog(QWidget* parent = nullptr);

  // Shows these batches (newest first), or `error` when the journal could not be read.
  void setBatches(const std::vector<myzor::JournalBatch>& batches, const QString& error = {});
  // While an undo runs nothing else may be undone.
  void setBusy(bool busy);

 signals:
  void undoRequested(qint64 batch);

 private:
  void updateButton();

  QTreeWidget* const m_list;
  QLabel* const m_status;
  QPushButton* const m_undo;
  bool m_busy = false;
};
