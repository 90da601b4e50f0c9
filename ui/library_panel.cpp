#include "ui/library_panel.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <array>

#include "library/model/library_filter.h"
#include "library/model/library_model.h"
#include "library/replay_library.h"
#include "library/search/query.h"

namespace {

QString searchProblemText(const myzor::SearchProblem& problem) {
  using Kind = myzor::SearchProblem::Kind;
  switch (problem.kind) {
    case Kind::none:
      return {};
    case Kind::unknown_field:
      return LibraryPanel::tr("unknown field %1: %2")
          .arg(problem.value, myzor::SearchFieldNames().join(QStringLiteral(", ")));
    case Kind::bad_date:
      return LibraryPanel::tr(
                 "malformed date %1: write a year, a month or a day, as in 2024, 2024-05 or "
                 "2024-05-17")
          .arg(problem.value);
    case Kind::bad_count:
      return LibraryPanel::tr("malformed count %1: write the number of players, as in count:4")
          .arg(problem.value);
    case Kind::bad_rating:
      return LibraryPanel::tr("malformed rating %1: write 0 to 5, as in rating:4 or rating:>=4")
          .arg(problem.value);
    case Kind::bad_flag:
      return LibraryPanel::tr("unknown mark is:%1: write is:favourite or is:watched")
          .arg(problem.value);
  }
  return {};
}

// Thousands grouped also in the C locale: "1,234 of 10,000".
QString number(qint64 value) {
  QLocale locale;
  locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
  return locale.toString(value);
}

using Model = myzor::LibraryModel;

// The most rows a change of search keeps selected.
constexpr int kSelectionKeptBySearch = 200;

// Starting widths in pixels, by column.
constexpr std::array<int, Model::ColumnCount> kColumnWidths = {
    180, 140, 110, 70, 140, 120, 180, 200, 160, 60, 160, 200, 160, 80, 40, 40, 200};
// The columns in the order first shown: what tells replays apart comes
// first, so a narrow window still shows it.
constexpr std::array<int, Model::ColumnCount> kFirstOrder = {
    Model::FileColumn,   Model::ModifiedColumn, Model::MapColumn,           Model::PlayersColumn,
    Model::FolderColumn, Model::GameColumn,     Model::TeamsColumn,         Model::RacesColumn,
    Model::SizeColumn,   Model::VersionColumn,  Model::WinConditionsColumn, Model::StatusColumn,
    Model::TagsColumn,   Model::RatingColumn,   Model::FavouriteColumn,     Model::WatchedColumn,
    Model::NoteColumn};
// Shown once asked for in the Columns menu.
constexpr std::array<int, 3> kFirstHidden = {Model::FavouriteColumn, Model::WatchedColumn,
                                             Model::NoteColumn};

// Typing a letter goes to the next row whose file name starts with what
// was typed, whichever column the current cell is in.
class LibraryTable : public QTableView {
 public:
  using QTableView::QTableView;

  void keyboardSearch(const QString& search) override {
    if (search.isEmpty() || model() == nullptr) return;
    const bool again =
        m_typed.isValid() && m_typed.elapsed() < QApplication::keyboardInputInterval();
    m_typed.start();
    // One letter typed again steps on to the next name with it.
    if (again && !(m_prefix.size() == 1 && search == m_prefix))
      m_prefix += search;
    else
      m_prefix = search;
    const int rows = model()->rowCount();
    const int current = currentIndex().isValid() ? currentIndex().row() : -1;
    const int first = m_prefix.size() == 1 ? current + 1 : std::max(current, 0);
    for (int step = 0; step < rows; ++step) {
      const int row = (first + step) % rows;
      const QModelIndex cell = model()->index(row, Model::FileColumn);
      if (!cell.data().toString().startsWith(m_prefix, Qt::CaseInsensitive)) continue;
      selectionModel()->setCurrentIndex(
          cell, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
      scrollTo(cell);
      return;
    }
  }

 private:
  QElapsedTimer m_typed;
  QString m_prefix;
};

}  // namespace

LibraryPanel::LibraryPanel(myzor::ReplayLibrary* library, QWidget* parent)
    : QWidget(parent),
      m_library(library),
      m_filter(new myzor::LibraryFilter(this)),
      m_open(new QPushButton(tr("Open folder…"), this)),
      m_search(new QLineEdit(this)),
      m_count(new QLabel(this)),
      m_sort(new QComboBox(this)),
      m_problems(new QLabel(this)),
      m_table(new LibraryTable(this)),
      m_progress(new QLabel(this)),
      m_bar(new QProgressBar(this)),
      m_stop(new QPushButton(tr("Stop"), this)),
      m_columns(new QMenu(tr("Columns"), this)),
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
      tr("Words must all match, in any column, ignoring case and accents; -word must not, a OR b "
         "either.\n"
         "player:, map:, game:, race:, team:, status: look in one column, version: is the whole "
         "version;\n"
         "date:2024-05, after:2024-01-01, before:2024-06-30 (days included), count:4 players;\n"
         "quotes keep words together: map:\"Ashfall Ridge\""));
  m_search->setClearButtonEnabled(true);
  m_search->installEventFilter(this);
  connect(m_search, &QLineEdit::textChanged, this, [this](const QString& text) {
    // The filter keeps the rows selected through a new search, at a cost that
    // grows faster than the selection (seconds for a thousand rows of
    // 100,000): a large selection is given up for its current row first.
    QItemSelectionModel* selection = m_table->selectionModel();
    if (selection->selectedRows().size() > kSelectionKeptBySearch) {
      const QModelIndex current = selection->currentIndex();
      selection->clearSelection();
      if (current.isValid())
        selection->select(current, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    m_filter->setSearchText(text);
  });
  // What is wrong with the search, below the field; a search with a problem lists no rows.
  auto* hint = new QLabel(this);
  hint->setObjectName(QStringLiteral("search_hint"));
  hint->setAccessibleName(tr("Search problem"));
  hint->setWordWrap(true);
  hint->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  hint->hide();
  connect(m_filter, &myzor::LibraryFilter::searchProblemChanged, hint,
          [hint](const myzor::SearchProblem& problem) {
            hint->setText(searchProblemText(problem));
            hint->setVisible(!problem.isNone());
          });

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
  m_table->setTextElideMode(Qt::ElideMiddle);
  m_table->setSortingEnabled(true);
  m_table->sortByColumn(myzor::LibraryModel::FileColumn, Qt::AscendingOrder);
  m_table->verticalHeader()->hide();
  m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
  QHeaderView* header = m_table->horizontalHeader();
  header->setHighlightSections(false);
  header->setStretchLastSection(true);
  header->setSectionsMovable(true);
  m_columns->setObjectName(QStringLiteral("menu_columns"));
  for (int column = 0; column < Model::ColumnCount; ++column) {
    QAction* shown =
        m_columns->addAction(library->model()->headerData(column, Qt::Horizontal).toString());
    shown->setObjectName(QStringLiteral("act_column_%1").arg(column));
    shown->setCheckable(true);
    shown->setChecked(true);
    // The file's name is what every row is known by.
    shown->setEnabled(column != Model::FileColumn);
    connect(shown, &QAction::toggled, this,
            [this, column](bool on) { m_table->setColumnHidden(column, !on); });
  }
  connect(m_columns, &QMenu::aboutToShow, this, [this] {
    const QList<QAction*> entries = m_columns->actions();
    for (int column = 0; column < entries.size(); ++column) {
      const QSignalBlocker blocker(entries[column]);
      entries[column]->setChecked(!m_table->isColumnHidden(column));
    }
  });
  header->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(header, &QHeaderView::customContextMenuRequested, this, [this, header](const QPoint& at) {
    m_columns->popup(header->viewport()->mapToGlobal(at));
  });
  connect(header, &QHeaderView::sortIndicatorChanged, this,
          [this](int column, Qt::SortOrder order) {
            m_sort->setCurrentIndex(column * 2 + (order == Qt::AscendingOrder ? 0 : 1));
          });
  for (int column = 0; column < Model::ColumnCount; ++column)
    header->resizeSection(column, kColumnWidths[static_cast<std::size_t>(column)]);
  for (int visual = 0; visual < Model::ColumnCount; ++visual)
    header->moveSection(header->visualIndex(kFirstOrder[static_cast<std::size_t>(visual)]), visual);
  for (const int column : kFirstHidden) m_table->setColumnHidden(column, true);
  // A date is as wide as the font makes it; cut short it says nothing.
  header->resizeSection(
      myzor::LibraryModel::ModifiedColumn,
      m_table->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00")) + 16);
  connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (!current.isValid()) return;
            const QByteArray path = current.data(myzor::LibraryModel::PathRole).toByteArray();
            // A file rewritten in place gives its folder no event.
            m_library->checkFile(path);
            emit replaySelected(path);
          });
  connect(m_table, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
    emit replayActivated(index.data(Model::PathRole).toByteArray());
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
  connect(m_stop, &QPushButton::clicked, library, &myzor::ReplayLibrary::stop);
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
  layout->addWidget(hint);
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
  connect(m_filter, &QAbstractItemModel::rowsInserted, this, &LibraryPanel::selectPending);
  connect(m_filter, &QAbstractItemModel::modelReset, this, &LibraryPanel::selectPending);
  // A change of sort or search keeps the rows selected; the current one stays in sight.
  connect(m_filter, &QAbstractItemModel::layoutChanged, this, &LibraryPanel::keepCurrentInView);
  connect(m_filter, &QAbstractItemModel::rowsRemoved, this, &LibraryPanel::keepCurrentInView);
  connect(library, &myzor::ReplayLibrary::started, this, &LibraryPanel::clearForNewFolder);
  connect(library, &myzor::ReplayLibrary::progress, this, &LibraryPanel::showProgress);
  connect(library, &myzor::ReplayLibrary::finished, this, &LibraryPanel::showFinished);
  connect(library, &myzor::ReplayLibrary::problemsFound, this, &LibraryPanel::showProblems);
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
  const QString text =
      tr("%1 of %2").arg(number(m_filter->rowCount()), number(m_library->model()->rowCount()));
  m_count->setText(text);
  m_count->setAccessibleDescription(tr("%1 replays shown").arg(text));
}

void LibraryPanel::selectPaths(const QList<QByteArray>& paths) {
  m_pending = paths;
  m_pending_found = false;
  selectPending();
}

QList<QByteArray> LibraryPanel::selectedPaths() const {
  QList<QByteArray> paths;
  const QModelIndex current = m_table->currentIndex();
  if (current.isValid() && m_table->selectionModel()->isRowSelected(current.row(), QModelIndex()))
    paths.append(current.data(Model::PathRole).toByteArray());
  for (const QModelIndex& index : m_table->selectionModel()->selectedRows()) {
    const QByteArray path = index.data(Model::PathRole).toByteArray();
    if (!paths.contains(path)) paths.append(path);
  }
  return paths;
}

void LibraryPanel::selectPending() {
  if (m_pending.isEmpty()) return;
  const Model* model = m_library->model();
  QItemSelection selection;
  QModelIndex first;
  QList<QByteArray> waiting;
  for (const QByteArray& path : std::as_const(m_pending)) {
    const int row = model->rowOf(path);
    const QModelIndex index =
        row < 0 ? QModelIndex() : m_filter->mapFromSource(model->index(row, 0));
    if (!index.isValid()) {
      waiting.append(path);
      continue;
    }
    if (!first.isValid()) first = index;
    selection.select(index, index);
  }
  if (selection.isEmpty()) return;
  m_pending = waiting;
  QItemSelectionModel* selected = m_table->selectionModel();
  // The first of them found replaces what was selected; later ones join it.
  if (!m_pending_found) {
    selected->setCurrentIndex(first,
                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_table->scrollTo(first);
  }
  selected->select(selection, QItemSelectionModel::Select | QItemSelectionModel::Rows);
  m_pending_found = true;
}

void LibraryPanel::keepCurrentInView() {
  const QModelIndex current = m_table->currentIndex();
  if (current.isValid()) m_table->scrollTo(current);
}

void LibraryPanel::clearForNewFolder() {
  // The same folder read again keeps its selection; another one starts afresh.
  if (m_library->root() == m_root) {
    const QList<QByteArray> kept = selectedPaths();
    if (!kept.isEmpty()) {
      m_pending = kept;
      m_pending_found = false;
    }
  } else if (m_pending_found) {
    m_pending.clear();
  }
  m_root = m_library->root();
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
    m_progress->setText(
        tr("Stopped: %1 of %2 read").arg(number(m_library->done()), number(m_library->total())));
  m_progress->setVisible(visible);
  m_bar->hide();
  if (m_stop->hasFocus()) m_table->setFocus(Qt::OtherFocusReason);
  m_stop->hide();
  m_read_rest->setVisible(m_library->model()->unreadCount() > 0 &&
                          m_read_rest->defaultAction() != nullptr);
}

void LibraryPanel::showProblems(const myzor::ScanProblems& problems) {
  QStringList lines;
  for (const myzor::ScanProblem& problem : problems) {
    const QString folder = myzor::DisplayName(problem.folder);
    lines << (problem.kind == myzor::ScanProblem::Kind::loop
                  ? tr("%1: leads back into a folder already listed").arg(folder)
                  : tr("%1: cannot read the folder: %2").arg(folder, problem.reason));
  }
  QString text = tr("Skipped: %1").arg(lines.first());
  if (lines.size() > 1) text += tr(" (and %n more)", nullptr, int(lines.size() - 1));
  m_problems->setText(text);
  m_problems->setToolTip(lines.join(QLatin1Char('\n')));
  m_problems->show();
}
