#include "ui/duplicates_dialog.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {

constexpr int kPathRole = Qt::UserRole;

}  // namespace

DuplicatesDialog::DuplicatesDialog(const myzor::DuplicateSearch& search, int rows_searched,
                                   QWidget* parent)
    : QDialog(parent),
      m_list(new QTreeWidget(this)),
      m_trash(new QPushButton(tr("Move all but one of each group to the trash"), this)) {
  setObjectName(QStringLiteral("dlg_duplicates"));
  setWindowTitle(tr("Duplicates"));
  m_list->setObjectName(QStringLiteral("tbl_duplicates"));
  m_list->setAccessibleName(
      tr("Groups of identical replays; the ticked file of each group is kept"));
  m_list->setHeaderLabels({tr("Keep"), tr("Modified"), tr("File")});
  m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  m_list->setUniformRowHeights(true);
  m_trash->setObjectName(QStringLiteral("btn_trash_duplicates"));
  m_trash->setToolTip(
      tr("Keeps the ticked file of each group (the oldest unless you tick another); "
         "the others go to the trash and can be brought back with Undo"));
  const QLocale locale;
  std::size_t extra = 0;
  for (const myzor::DuplicateGroup& group : search.groups) {
    auto* top = new QTreeWidgetItem(
        m_list, {QString(), QString(),
                 tr("%1 identical files of %2 bytes")
                     .arg(group.files.size())
                     .arg(locale.toString(static_cast<qlonglong>(group.size)))});
    top->setFirstColumnSpanned(true);
    const auto oldest =
        std::min_element(group.files.begin(), group.files.end(),
                         [](const auto& a, const auto& b) { return a.mtime_ns < b.mtime_ns; });
    for (auto file = group.files.begin(); file != group.files.end(); ++file) {
      const QDateTime modified = QDateTime::fromMSecsSinceEpoch(file->mtime_ns / 1'000'000);
      auto* item =
          new QTreeWidgetItem(top, {QString(), locale.toString(modified, QLocale::ShortFormat),
                                    QFile::decodeName(file->path)});
      item->setData(0, kPathRole, file->path);
      item->setToolTip(2, QFile::decodeName(file->path));
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(0, file == oldest ? Qt::Checked : Qt::Unchecked);
    }
    extra += group.files.size() - 1;
  }
  m_list->expandAll();
  auto* summary = new QLabel(search.groups.empty()
                                 ? tr("No duplicates among %1 replays.").arg(rows_searched)
                                 : tr("%1 groups among %2 replays; %3 files would go to the trash.")
                                       .arg(search.groups.size())
                                       .arg(rows_searched)
                                       .arg(extra),
                             this);
  summary->setObjectName(QStringLiteral("lbl_duplicates_summary"));
  summary->setWordWrap(true);
  if (!search.problems.empty())
    summary->setText(summary->text() + QLatin1Char(' ') +
                     tr("%1 files could not be read, the first: %2")
                         .arg(search.problems.size())
                         .arg(QFile::decodeName(search.problems.front().first)));
  m_trash->setEnabled(!search.groups.empty());
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->addButton(m_trash, QDialogButtonBox::ActionRole);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(summary);
  layout->addWidget(m_list);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(m_list, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
    if (column == 0 && !m_updating && item->checkState(0) == Qt::Checked) keepOnly(item);
  });
  connect(m_trash, &QPushButton::clicked, this, [this] {
    emit trashRequested(filesToTrash());
    accept();
  });
  resize(720, 420);
}

// One file of a group is kept: ticking one unticks the others.
void DuplicatesDialog::keepOnly(QTreeWidgetItem* kept) {
  m_updating = true;
  QTreeWidgetItem* group = kept->parent();
  for (int i = 0; group != nullptr && i < group->childCount(); ++i)
    group->child(i)->setCheckState(0, group->child(i) == kept ? Qt::Checked : Qt::Unchecked);
  m_updating = false;
}

std::vector<QByteArray> DuplicatesDialog::filesToTrash() const {
  std::vector<QByteArray> paths;
  for (int g = 0; g < m_list->topLevelItemCount(); ++g) {
    const QTreeWidgetItem* group = m_list->topLevelItem(g);
    bool any_kept = false;
    for (int i = 0; i < group->childCount(); ++i)
      any_kept |= group->child(i)->checkState(0) == Qt::Checked;
    // A group with nothing ticked is left whole: never trash every copy.
    if (!any_kept) continue;
    for (int i = 0; i < group->childCount(); ++i)
      if (group->child(i)->checkState(0) != Qt::Checked)
        paths.push_back(group->child(i)->data(0, kPathRole).toByteArray());
  }
  return paths;
}
