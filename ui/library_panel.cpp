#include "ui/library_panel.h"

#include "library/library.h"
#include "library/library_filter.h"
#include "library/library_model.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QTableView>
#include <QVBoxLayout>

#include <array>

namespace {

// Thousands grouped also in the C locale: "1,234 of 10,000".
QString number(qint64 value) {
  QLocale locale;
  locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
  return locale.toString(value);
}

// Starting widths in pixels, by column.
constexpr std::array<int, myzor::LibraryModel::ColumnCount> kColumnWidths = {
    180, 110, 70, 140, 120, 200, 200, 160, 60, 160, 120};

}  // namespace

LibraryPanel::LibraryPanel(myzor::Library* library, QWidget* parent)
    : QWidget(parent),
      m_library(library),
      m_filter(new myzor::LibraryFilter(this)),
      m_open(new QPushButton(tr("Open folder…"), this)),
      m_search(new QLineEdit(this)),
      m_count(new QLabel(this)),
      m_sort(new QComboBox(this)),
      m_problems(new QLabel(this)),
      m_table(new QTableView(this)),
      m_progress(new QLabel(this)),
      m_bar(new QProgressBar(this)),
      m_stop(new QPushButton(tr("Stop"), this)),
      m_read_rest(new QToolButton(this)) {
  setObjectName(QStringLiteral("library_panel"));
  m_filter->setSourceModel(library->model());

  m_open->setObjectName(QStringLiteral("btn_open_folder"));
  m_open->setAccessibleName(tr("Open folder"));
  m_open->setToolTip(tr("Choose the folder whose replays the library lists (Ctrl+O)"));
  connect(m_open, &QPushButton::clicked, this, &LibraryPanel::chooseFolder);

  m_search->setObjectName(QStringLiteral("txt_search"));
  m_search->setAccessibleName(tr("Search replays"));
  m_search->setPlaceholderText(tr("Search (Ctrl+F)"));
  m_search->setToolTip(
      tr("Words must all match, in any column, ignoring case and accents.\n"
         "player:, map:, game:, race:, team:, version:, status: look in one column;\n"
         "quotes keep words together: map:\"Ashfall Ridge\""));
  m_search->setClearButtonEnabled(true);
  m_search->installEventFilter(this);
  connect(m_search, &QLineEdit::textChanged, m_filter, &myzor::LibraryFilter::setSearchText);

  m_count->setObjectName(QStringLiteral("lbl_count"));
  m_count->setAccessibleName(tr("Replays shown"));

  // The header sorts with the mouse; this does the same from the keyboard.
  m_sort->setObjectName(QStringLiteral("cmb_sort"));
  m_sort->setAccessibleName(tr("Sort by"));
  m_sort->setToolTip(tr("Sort the replays by a column"));
  m_sort->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  m_sort->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  for (int column = 0; column < myzor::LibraryModel::ColumnCount; ++column) {
    const QString title = library->model()->headerData(column, Qt::Horizontal).toString();
    m_sort->addItem(tr("%1, ascending").arg(title));
    m_sort->addItem(tr("%1, descending").arg(title));
  }
  connect(m_sort, &QComboBox::activated, this, [this](int item) {
    m_table->sortByColumn(item / 2, item % 2 == 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
  });

  m_problems->setObjectName(QStringLiteral("lbl_problems"));
  m_problems->setAccessibleName(tr("Folders skipped"));
  m_problems->setWordWrap(true);
  m_problems->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  m_problems->hide();

  m_table->setObjectName(QStringLiteral("tbl_library"));
  m_table->setAccessibleName(tr("Replays"));
  m_table->setModel(m_filter);
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->setTabKeyNavigation(false);
  m_table->setWordWrap(false);
  m_table->setSortingEnabled(true);
  m_table->sortByColumn(myzor::LibraryModel::FileColumn, Qt::AscendingOrder);
  m_table->verticalHeader()->hide();
  m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
  QHeaderView* header = m_table->horizontalHeader();
  header->setHighlightSections(false);
  connect(header, &QHeaderView::sortIndicatorChanged, this, [this](int column, Qt::SortOrder order) {
    m_sort->setCurrentIndex(column * 2 + (order == Qt::AscendingOrder ? 0 : 1));
  });
  for (int column = 0; column < myzor::LibraryModel::ColumnCount; ++column)
    header->resizeSection(column, kColumnWidths[static_cast<std::size_t>(column)]);
  // A date is as wide as the font makes it; cut short it says nothing.
  header->resizeSection(myzor::LibraryModel::ModifiedColumn,
                        m_table->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00")) + 16);
  connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (!current.isValid()) return;
            const QByteArray path = current.data(myzor::LibraryModel::PathRole).toByteArray();
            // A file rewritten in place gives its folder no event.
            m_library->checkFile(path);
            emit replaySelected(path);
          });

  m_progress->setObjectName(QStringLiteral("lbl_progress"));
  m_progress->setAccessibleName(tr("Reading progress"));
  m_bar->setObjectName(QStringLiteral("bar_progress"));
  m_bar->setAccessibleName(tr("Reading progress"));
  m_bar->setTextVisible(false);
  m_bar->setMaximumWidth(160);
  m_stop->setObjectName(QStringLiteral("btn_stop"));
  m_stop->setAccessibleName(tr("Stop reading"));
  m_stop->setToolTip(tr("Stop reading the folder; the replays read so far stay listed"));
  connect(m_stop, &QPushButton::clicked, library, &myzor::Library::stop);
  m_read_rest->setObjectName(QStringLiteral("btn_read_rest"));
  m_read_rest->setToolButtonStyle(Qt::ToolButtonTextOnly);
  m_read_rest->hide();

  auto* top = new QHBoxLayout;
  top->addWidget(m_open);
  top->addWidget(m_search, 1);
  top->addWidget(m_count);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(m_sort);
  bottom->addWidget(m_progress, 1);
  bottom->addStretch();
  bottom->addWidget(m_bar);
  bottom->addWidget(m_stop);
  bottom->addWidget(m_read_rest);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 8, 8, 4);
  layout->addLayout(top);
  layout->addWidget(m_problems);
  layout->addWidget(m_table, 1);
  layout->addLayout(bottom);
  setTabOrder(m_open, m_search);
  setTabOrder(m_search, m_table);
  setTabOrder(m_table, m_sort);
  setTabOrder(m_sort, m_stop);
  setTabOrder(m_stop, m_read_rest);

  connect(m_filter, &QAbstractItemModel::rowsInserted, this, &LibraryPanel::updateCount);
  connect(m_filter, &QAbstractItemModel::rowsRemoved, this, &LibraryPanel::updateCount);
  connect(m_filter, &QAbstractItemModel::modelReset, this, &LibraryPanel::updateCount);
  connect(m_filter, &QAbstractItemModel::layoutChanged, this, &LibraryPanel::updateCount);
  connect(library, &myzor::Library::started, this, &LibraryPanel::clearForNewFolder);
  connect(library, &myzor::Library::progress, this, &LibraryPanel::showProgress);
  connect(library, &myzor::Library::finished, this, &LibraryPanel::showFinished);
  connect(library, &myzor::Library::problemsFound, this, &LibraryPanel::showProblems);
  updateCount();
  showFinished(false);
}

QByteArray LibraryPanel::headerState() const { return m_table->horizontalHeader()->saveState(); }

void LibraryPanel::restoreHeaderState(const QByteArray& state) {
  QHeaderView* header = m_table->horizontalHeader();
  if (state.isEmpty() || !header->restoreState(state)) return;
  m_table->sortByColumn(header->sortIndicatorSection(), header->sortIndicatorOrder());
}

void LibraryPanel::chooseFolder() {
  const QString start = QFile::decodeName(m_library->root());
  const QString folder = QFileDialog::getExistingDirectory(this, tr("Open replay folder"), start);
  if (!folder.isEmpty()) emit folderChosen(folder);
}

void LibraryPanel::focusSearch() {
  m_search->setFocus(Qt::ShortcutFocusReason);
  m_search->selectAll();
}

bool LibraryPanel::eventFilter(QObject* watched, QEvent* event) {
  // Down in the search field goes on to the table, as in a browser's search.
  if (watched == m_search && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Down) {
    m_table->setFocus(Qt::OtherFocusReason);
    if (!m_table->currentIndex().isValid() && m_filter->rowCount() > 0)
      m_table->setCurrentIndex(m_filter->index(0, 0));
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void LibraryPanel::updateCount() {
  const QString text = tr("%1 of %2").arg(number(m_filter->rowCount()), number(m_library->model()->rowCount()));
  m_count->setText(text);
  m_count->setAccessibleDescription(tr("%1 replays shown").arg(text));
}

void LibraryPanel::clearForNewFolder() {
  m_problems->clear();
  m_problems->hide();
  m_progress->setText(tr("Looking for replays…"));
  m_progress->setToolTip(QFile::decodeName(m_library->root()));
  m_bar->setRange(0, 0);
  m_progress->show();
  m_bar->show();
  m_stop->show();
  updateCount();
}

void LibraryPanel::setReadRestAction(QAction* action) {
  m_read_rest->setDefaultAction(action);
  m_read_rest->setAccessibleName(action->text());
}

void LibraryPanel::showProgress(qint64 done, qint64 total) {
  // Also the start of reading the rest, which empties nothing.
  m_progress->show();
  m_bar->show();
  m_stop->show();
  m_read_rest->hide();
  m_progress->setText(tr("%1 of %2").arg(number(done), number(total)));
  // The bar counts in thousandths so that very large folders fit its int range.
  m_bar->setRange(0, 1000);
  m_bar->setValue(total > 0 ? static_cast<int>(done * 1000 / total) : 0);
}

void LibraryPanel::showFinished(bool stopped) {
  const bool visible = stopped;
  if (stopped)
    m_progress->setText(tr("Stopped: %1 of %2 read")
                            .arg(number(m_library->done()), number(m_library->total())));
  m_progress->setVisible(visible);
  m_bar->hide();
  if (m_stop->hasFocus()) m_table->setFocus(Qt::OtherFocusReason);
  m_stop->hide();
  m_read_rest->setVisible(m_library->model()->unreadCount() > 0 && m_read_rest->defaultAction() != nullptr);
}

void LibraryPanel::showProblems(const QStringList& problems) {
  QString text = tr("Skipped: %1").arg(problems.first());
  if (problems.size() > 1) text += tr(" (and %1 more)").arg(problems.size() - 1);
  m_problems->setText(text);
  m_problems->setToolTip(problems.join(QLatin1Char('\n')));
  m_problems->show();
}
