// Edit ▸ Find duplicates: the groups of byte-identical replays, one file of
// each to keep (the oldest unless the user marks another), the rest to trash.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <vector>

#include "library/dupes/dupes.h"

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class DuplicatesDialog : public QDialog {
  Q_OBJECT

 public:
  DuplicatesDialog(const myzor::DuplicateSearch& search, int rows_searched,
                   QWidget* parent = nullptr);

  // Every file but the one kept of each group.
  [[nodiscard]] std::vector<QByteArray> filesToTrash() const;

 signals:
  void trashRequested(const std::vector<QByteArray>& paths);

 private:
  void keepOnly(QTreeWidgetItem* kept);

  QTreeWidget* const m_list;
  QPushButton* const m_trash;
  bool m_updating = false;
};
