#include "ui/players_view.h"

#include <QAction>
#include <QFuture>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "library/core/full_read.h"
#include "library/replay_library.h"
#include "library/search/query.h"
#include "library/stats/stats_runner.h"
#include "replay/replay.h"
#include "ui/players_model.h"

namespace {

constexpr int NameColumn = PlayersModel::NameColumn;
constexpr int GamesColumn = PlayersModel::GamesColumn;

QString htmlList(const QString& title, const std::vector<myzor::NameCount>& list,
                 std::int64_t whole) {
  QString html = QStringLiteral("<h4>%1</h4><ul>").arg(title.toHtmlEscaped());
  for (std::size_t i = 0; i < list.size() && i < 5; ++i) {
    html += QStringLiteral("<li>%1: %2").arg(list[i].name.toHtmlEscaped()).arg(list[i].games);
    if (whole > 0)
      html +=
          QStringLiteral(" (%1%)").arg(100.0 * double(list[i].games) / double(whole), 0, 'f', 0);
    html += QStringLiteral("</li>");
  }
  return html + (list.empty() ? QStringLiteral("<li>–</li></ul>") : QStringLiteral("</ul>"));
}

// The badge and banner of one player of a replay, the file read in full. A
// file changed since it was listed has none; the list will follow.
std::pair<QImage, QImage> readPictures(const QByteArray& path, int player) {
  const myzor::FullRead read = myzor::ReadInFull(path);
  if (!read.ok || player < 0 || static_cast<std::size_t>(player) >= read.replay.players.size())
    return {};
  const zor_rep_reader::PlayerInfo& p = read.replay.players[static_cast<std::size_t>(player)];
  return {p.badge ? p.badge->image() : QImage(), p.banner ? p.banner->image() : QImage()};
}

}  // namespace

PlayersView::PlayersView(myzor::ReplayLibrary* library,
                         std::function<void(const QString&)> set_search, QWidget* parent)
    : QWidget(parent),
      m_library(library),
      m_set_search(std::move(set_search)),
      m_runner(new myzor::StatsRunner(
          [library] { return library->model()->rowCount(); },
          [library](int first, int last, std::vector<myzor::StatsRow>& rows) {
            for (int i = first; i < last; ++i)
              rows.push_back(myzor::StatsRowOf(library->model()->row(i), library->persons()));
          },
          this)),
      m_search(new QLineEdit(this)),
      m_table(new QTableView(this)),
      m_model(new PlayersModel(this)),
      m_proxy(new QSortFilterProxyModel(this)),
      m_badge(new QLabel(this)),
      m_banner(new QLabel(this)),
      m_details(new QTextBrowser(this)) {
  setObjectName(QStringLiteral("players_view"));
  m_search->setObjectName(QStringLiteral("txt_players_search"));
  m_search->setAccessibleName(tr("Search players"));
  m_search->setPlaceholderText(tr("Search players"));
  m_search->setToolTip(tr("Shows the players whose name holds this text"));
  m_search->setClearButtonEnabled(true);

  m_proxy->setSourceModel(m_model);
  m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
  m_proxy->setFilterKeyColumn(NameColumn);
  m_proxy->setSortCaseSensitivity(Qt::CaseInsensitive);
  connect(m_search, &QLineEdit::textChanged, m_proxy, &QSortFilterProxyModel::setFilterFixedString);

  m_table->setObjectName(QStringLiteral("tbl_players"));
  m_table->setAccessibleName(tr("Players"));
  m_table->setModel(m_proxy);
  m_table->setSortingEnabled(true);
  m_table->sortByColumn(GamesColumn, Qt::DescendingOrder);
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  // Several names picked are merged as one person.
  m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->verticalHeader()->hide();
  m_table->setWordWrap(false);
  m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  m_table->setToolTip(tr("Enter or a double click searches the library for the player"));
  connect(m_table, &QTableView::activated, this, &PlayersView::activate);
  m_merge = new QAction(tr("Merge as one player…"), this);
  m_merge->setObjectName(QStringLiteral("act_merge_players"));
  m_merge->setToolTip(tr("The selected names are one person: count their games together"));
  connect(m_merge, &QAction::triggered, this, &PlayersView::mergeSelected);
  m_split = new QAction(tr("Split again"), this);
  m_split->setObjectName(QStringLiteral("act_split_player"));
  m_split->setToolTip(tr("Count each name of this person on its own again"));
  connect(m_split, &QAction::triggered, this, [this] {
    const QString name = currentName();
    if (m_library->persons().value(name) == name) m_library->splitPerson(name);
  });
  m_note = new QAction(tr("Note on player…"), this);
  m_note->setObjectName(QStringLiteral("act_player_note"));
  connect(m_note, &QAction::triggered, this, &PlayersView::editNote);
  for (QAction* action : {m_merge, m_split, m_note}) {
    action->setShortcutContext(Qt::WidgetShortcut);
    m_table->addAction(action);
  }
  m_table->setContextMenuPolicy(Qt::ActionsContextMenu);
  connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &PlayersView::updateActions);
  connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          &PlayersView::showDetails);

  m_badge->setObjectName(QStringLiteral("pic_player_badge"));
  m_banner->setObjectName(QStringLiteral("pic_player_banner"));
  m_badge->setFixedSize(64, 64);
  m_banner->setFixedSize(64, 96);
  m_details->setObjectName(QStringLiteral("txt_player_details"));
  m_details->setAccessibleName(tr("Player details"));
  m_details->setOpenLinks(false);

  auto* pictures = new QVBoxLayout;
  pictures->addWidget(m_badge);
  pictures->addWidget(m_banner);
  pictures->addStretch(1);
  auto* details = new QWidget(this);
  auto* details_layout = new QHBoxLayout(details);
  details_layout->setContentsMargins(0, 0, 0, 0);
  details_layout->addLayout(pictures);
  details_layout->addWidget(m_details, 1);
  auto* split = new QSplitter(Qt::Horizontal, this);
  split->setObjectName(QStringLiteral("splitter_players"));
  split->setChildrenCollapsible(false);
  split->addWidget(m_table);
  split->addWidget(details);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_search);
  layout->addWidget(split, 1);
  setTabOrder(m_search, m_table);
  setTabOrder(m_table, m_details);

  connect(m_runner, &myzor::StatsRunner::computed, this, &PlayersView::showStats);
  connect(&m_pictures, &QFutureWatcher<std::pair<QImage, QImage>>::finished, this, [this] {
    const auto [badge, banner] = m_pictures.result();
    m_badge->setPixmap(QPixmap::fromImage(badge));
    m_banner->setPixmap(QPixmap::fromImage(banner));
    m_badge->setAccessibleName(badge.isNull() ? QString() : tr("Badge of %1").arg(m_pictures_for));
    m_banner->setAccessibleName(banner.isNull() ? QString()
                                                : tr("Banner of %1").arg(m_pictures_for));
  });
  const myzor::LibraryModel* model = library->model();
  for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
    connect(model, signal, this, &PlayersView::refresh);
  connect(model, &QAbstractItemModel::modelReset, this, &PlayersView::refresh);
  connect(model, &QAbstractItemModel::dataChanged, this, &PlayersView::refresh);
  connect(library, &myzor::ReplayLibrary::notesChanged, this, &PlayersView::refresh);
  updateActions();
}

QString PlayersView::currentName() const {
  const QModelIndex current = m_table->currentIndex();
  return current.isValid() ? current.siblingAtColumn(NameColumn).data().toString() : QString();
}

QStringList PlayersView::selectedNames() const {
  QStringList names;
  for (const QModelIndex& index : m_table->selectionModel()->selectedRows(NameColumn))
    names << index.data().toString();
  return names;
}

void PlayersView::updateActions() {
  m_merge->setEnabled(selectedNames().size() >= 2);
  const QString name = currentName();
  m_split->setEnabled(!name.isEmpty() && m_library->persons().value(name) == name);
  m_note->setEnabled(!name.isEmpty());
}

void PlayersView::mergeSelected() {
  QStringList names = selectedNames();
  if (names.size() < 2) return;
  // The name with the most games is offered first.
  const QString first = currentName();
  if (names.contains(first)) {
    names.removeOne(first);
    names.prepend(first);
  }
  bool ok = false;
  const QString person =
      m_ask_person ? m_ask_person(names)
                   : QInputDialog::getItem(
                         this, tr("Merge as one player"),
                         tr("The %n names are one person, known as:", nullptr, int(names.size())),
                         names, 0, true, &ok);
  if (person.trimmed().isEmpty() || (!m_ask_person && !ok)) return;
  m_library->mergePlayers(names, person.trimmed());
}

void PlayersView::editNote() {
  const QString name = currentName();
  if (name.isEmpty()) return;
  QString note;
  for (const myzor::PlayerData& player : m_library->players())
    if (player.name == name) note = player.note;
  bool ok = false;
  const QString text = QInputDialog::getMultiLineText(
      this, tr("Note on player"), tr("What you know of %1:").arg(name), note, &ok);
  if (ok) m_library->setPlayerNote(name, text);
}

PlayersView::~PlayersView() { m_pictures.waitForFinished(); }

void PlayersView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (m_stale) refresh();
}

// A hidden view computes nothing; it catches up when shown.
void PlayersView::refresh() {
  m_stale = !isVisible();
  if (m_stale)
    m_runner->stop();
  else
    m_runner->request();
}

void PlayersView::showStats(const myzor::ReplayStats& stats) {
  const QModelIndex current = m_table->currentIndex();
  const QString selected =
      current.isValid() ? current.siblingAtColumn(NameColumn).data().toString() : QString();
  m_proxy->setDynamicSortFilter(false);
  m_model->setPlayers(stats.players);
  m_proxy->setDynamicSortFilter(true);
  m_proxy->sort(m_table->horizontalHeader()->sortIndicatorSection(),
                m_table->horizontalHeader()->sortIndicatorOrder());
  const QModelIndexList again =
      m_proxy->match(m_proxy->index(0, NameColumn), Qt::DisplayRole, selected, 1, Qt::MatchExactly);
  if (!selected.isEmpty() && !again.isEmpty()) m_table->setCurrentIndex(again.first());
  emit shown();
}

void PlayersView::showDetails() {
  const QModelIndex current = m_proxy->mapToSource(m_table->currentIndex());
  if (!current.isValid()) {
    m_details->clear();
    return;
  }
  const myzor::PlayerStats* it = &m_model->player(current.row());
  const QString& name = it->name;
  std::int64_t seats = 0;
  for (const myzor::NameCount& race : it->races) seats += race.games;
  // A person's other names, and the note on the player.
  QStringList also;
  QString note;
  for (const myzor::PlayerData& player : m_library->players()) {
    if (player.person == name && player.name != name) also << player.name;
    if (player.name == name) note = player.note;
  }
  QString known;
  if (!also.isEmpty())
    known += QStringLiteral("<p>%1</p>")
                 .arg(tr("Also plays as %1").arg(also.join(QStringLiteral(", ")).toHtmlEscaped()));
  if (!note.isEmpty())
    known += QStringLiteral("<p><i>%1</i></p>")
                 .arg(note.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>")));
  m_details->setHtml(
      QStringLiteral("<h3>%1</h3><p>%2</p>")
          .arg(name.toHtmlEscaped(),
               tr("%n game(s), %1 to %2", nullptr, int(it->games)).arg(it->first, it->last)) +
      known + htmlList(tr("Races"), it->races, seats) +
      htmlList(tr("Most played maps"), it->maps, it->games) +
      htmlList(tr("Teammates"), it->teammates, 0) + htmlList(tr("Opponents"), it->opponents, 0));
  if (m_pictures_for == name) return;
  m_pictures_for = name;
  m_badge->clear();
  m_banner->clear();
  // A player without pictures still replaces a read under way for another.
  m_pictures.setFuture(it->picture_file.isEmpty()
                           ? QtFuture::makeReadyFuture(std::pair<QImage, QImage>())
                           : QtConcurrent::run(readPictures, it->picture_file, it->picture_player));
}

void PlayersView::activate(const QModelIndex& index) {
  m_set_search(myzor::PlayerSearch(index.siblingAtColumn(NameColumn).data().toString()));
}
