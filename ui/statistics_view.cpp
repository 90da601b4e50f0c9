#include "ui/statistics_view.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QFileDialog>
#include <QFuture>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPieSeries>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

#include "library/model/library_filter.h"
#include "library/model/library_model.h"
#include "library/stats/stats_runner.h"

namespace {

// More bars than this would not be readable; the table beside lists all.
constexpr std::size_t kMostBars = 20;

QTableWidget* newTable(QWidget* parent, const QString& object_name,
                       const QString& accessible_name) {
  auto* table = new QTableWidget(parent);
  table->setObjectName(object_name);
  table->setAccessibleName(accessible_name);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionMode(QAbstractItemView::ContiguousSelection);
  table->verticalHeader()->hide();
  table->setWordWrap(false);
  table->horizontalHeader()->setStretchLastSection(true);
  return table;
}

QTableWidgetItem* cell(const QVariant& value, const QString& tooltip = QString()) {
  auto* item = new QTableWidgetItem;
  item->setData(Qt::DisplayRole, value);
  if (value.typeId() != QMetaType::QString)
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  item->setToolTip(tooltip.isEmpty() ? value.toString() : tooltip);
  return item;
}

QString share(std::int64_t part, std::int64_t whole) {
  return whole > 0 ? QStringLiteral("%1%").arg(100.0 * double(part) / double(whole), 0, 'f', 1)
                   : QString();
}

}  // namespace

StatisticsView::StatisticsView(myzor::LibraryFilter* filter, QWidget* parent)
    : QWidget(parent),
      m_filter(filter),
      m_runner(new myzor::StatsRunner(
          [filter] { return filter->sourceModel() == nullptr ? 0 : filter->rowCount(); },
          [this, filter](int first, int last, std::vector<myzor::StatsRow>& rows) {
            const auto* model = static_cast<const myzor::LibraryModel*>(filter->sourceModel());
            for (int i = first; i < last; ++i)
              rows.push_back(myzor::StatsRowOf(
                  model->row(filter->mapToSource(filter->index(i, 0)).row()), m_persons));
          },
          this)),
      m_games(new QLabel(this)),
      m_failed(new QLabel(this)),
      m_tabs(new QTabWidget(this)),
      m_save(new QPushButton(tr("Save chart as PNG…"), this)),
      m_save_status(new QLabel(this)) {
  setObjectName(QStringLiteral("statistics_view"));
  m_games->setObjectName(QStringLiteral("lbl_games"));
  m_failed->setObjectName(QStringLiteral("lbl_failed"));
  m_tabs->setObjectName(QStringLiteral("tabs_statistics"));
  m_tabs->setAccessibleName(tr("Statistics"));
  m_save->setObjectName(QStringLiteral("btn_save_chart"));
  m_save->setToolTip(tr("Saves the chart of this tab as a PNG picture"));
  m_save_status->setObjectName(QStringLiteral("lbl_save_status"));

  m_charts.push_back(addChart("months", tr("Months"), tr("Month")));
  m_charts.push_back(addChart("maps", tr("Maps"), tr("Map")));
  m_charts.push_back(addChart("races", tr("Races"), tr("Race")));
  m_charts.push_back(addChart("formats", tr("Formats"), tr("Format")));
  m_matchups = newTable(m_tabs, QStringLiteral("tbl_matchups"), tr("1v1 matchups, race by race"));
  m_matchups->horizontalHeader()->setStretchLastSection(false);
  m_tabs->addTab(m_matchups, tr("Matchups"));
  m_players = newTable(m_tabs, QStringLiteral("tbl_top_players"), tr("Top players"));
  m_players->setColumnCount(3);
  m_players->setHorizontalHeaderLabels({tr("Player"), tr("Games"), tr("Races")});
  m_tabs->addTab(m_players, tr("Top players"));

  auto* counts = new QHBoxLayout;
  counts->addWidget(m_games);
  counts->addWidget(m_failed);
  counts->addStretch(1);
  auto* save = new QHBoxLayout;
  save->addWidget(m_save);
  save->addWidget(m_save_status, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(counts);
  layout->addWidget(m_tabs, 1);
  layout->addLayout(save);

  connect(m_tabs, &QTabWidget::currentChanged, this,
          [this](int tab) { m_save->setEnabled(tab < static_cast<int>(m_charts.size())); });
  connect(m_save, &QPushButton::clicked, this, &StatisticsView::saveChart);
  connect(m_runner, &myzor::StatsRunner::computed, this, &StatisticsView::showStats);
  // A new search and new rows both change what the filter lists.
  for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
    connect(filter, signal, this, &StatisticsView::refresh);
  connect(filter, &QAbstractItemModel::modelReset, this, &StatisticsView::refresh);
  connect(filter, &QAbstractItemModel::layoutChanged, this, &StatisticsView::refresh);
  connect(filter, &QAbstractItemModel::dataChanged, this, &StatisticsView::refresh);
  m_games->setText(tr("Games: %1").arg(0));
  m_failed->setText(tr("Failed: %1").arg(0));
}

StatisticsView::Chart StatisticsView::addChart(const char* object_name, const QString& caption,
                                               const QString& first_column) {
  Chart chart;
  chart.name = QString::fromLatin1(object_name);
  auto* page = new QWidget(m_tabs);
  chart.view = new QChartView(new QChart, page);
  chart.view->setObjectName(QStringLiteral("chart_") + chart.name);
  chart.view->setAccessibleName(
      tr("%1 chart; its numbers are in the table beside it").arg(caption));
  chart.view->setRenderHint(QPainter::Antialiasing);
  chart.view->setMinimumSize(320, 220);
  chart.view->chart()->legend()->hide();
  chart.view->chart()->setBackgroundBrush(palette().brush(QPalette::Base));
  chart.view->chart()->setTitleBrush(palette().brush(QPalette::Text));
  chart.table =
      newTable(page, QStringLiteral("tbl_") + chart.name, tr("%1, games and shares").arg(caption));
  chart.table->setColumnCount(3);
  chart.table->setHorizontalHeaderLabels({first_column, tr("Games"), tr("Share")});
  auto* layout = new QHBoxLayout(page);
  layout->addWidget(chart.view, 3);
  layout->addWidget(chart.table, 2);
  m_tabs->addTab(page, caption);
  return chart;
}

void StatisticsView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (m_stale) refresh();
}

// A hidden view computes nothing; it catches up when shown.
void StatisticsView::setPersons(const QHash<QString, QString>& persons) {
  if (persons == m_persons) return;
  m_persons = persons;
  refresh();
}

void StatisticsView::refresh() {
  m_stale = !isVisible();
  if (m_stale)
    m_runner->stop();
  else
    m_runner->request();
}

void StatisticsView::fill(const Chart& chart, const std::vector<myzor::NameCount>& counts,
                          std::int64_t whole, bool pie) {
  chart.table->setRowCount(static_cast<int>(counts.size()));
  for (int i = 0; i < static_cast<int>(counts.size()); ++i) {
    const myzor::NameCount& c = counts[static_cast<std::size_t>(i)];
    chart.table->setItem(i, 0, cell(c.name));
    chart.table->setItem(i, 1, cell(QVariant::fromValue(static_cast<qlonglong>(c.games))));
    chart.table->setItem(i, 2, cell(share(c.games, whole)));
  }
  chart.table->resizeColumnsToContents();

  QChart* view = chart.view->chart();
  view->removeAllSeries();
  for (QAbstractAxis* axis : view->axes()) {
    view->removeAxis(axis);
    delete axis;
  }
  const std::size_t shown = std::min(counts.size(), kMostBars);
  const QBrush text = palette().brush(QPalette::Text);
  if (pie) {
    auto* series = new QPieSeries;
    QColor colour = palette().color(QPalette::Highlight);
    for (std::size_t i = 0; i < shown; ++i) {
      QPieSlice* slice = series->append(counts[i].name, static_cast<qreal>(counts[i].games));
      slice->setColor(QColor::fromHsv((colour.hsvHue() + 47 * static_cast<int>(i)) % 360,
                                      colour.hsvSaturation(), colour.value()));
      slice->setLabel(QStringLiteral("%1 %2").arg(counts[i].name, share(counts[i].games, whole)));
      slice->setLabelBrush(text);
      slice->setLabelVisible(true);
    }
    view->addSeries(series);
    return;
  }
  auto* set = new QBarSet(tr("Games"));
  set->setColor(palette().color(QPalette::Highlight));
  QStringList categories;
  qreal most = 0;
  // Of the months the latest; of the others the most played.
  const std::size_t first = chart.name == QLatin1String("months") ? counts.size() - shown : 0;
  for (std::size_t i = first; i < first + shown; ++i) {
    set->append(static_cast<qreal>(counts[i].games));
    categories.append(counts[i].name);
    most = std::max(most, static_cast<qreal>(counts[i].games));
  }
  auto* series = new QBarSeries;
  series->append(set);
  view->addSeries(series);
  auto* x = new QBarCategoryAxis;
  x->append(categories);
  x->setLabelsBrush(text);
  // Many bars leave room for their labels only across.
  if (categories.size() > 8) x->setLabelsAngle(-90);
  auto* y = new QValueAxis;
  y->setRange(0, std::max<qreal>(1, most));
  y->setLabelFormat(QStringLiteral("%d"));
  y->setLabelsBrush(text);
  view->addAxis(x, Qt::AlignBottom);
  view->addAxis(y, Qt::AlignLeft);
  series->attachAxis(x);
  series->attachAxis(y);
}

void StatisticsView::showStats(const myzor::ReplayStats& stats) {
  m_games->setText(tr("Games: %1").arg(stats.games));
  m_failed->setText(tr("Failed: %1").arg(stats.failed));
  std::int64_t seats = 0;
  for (const myzor::NameCount& race : stats.races) seats += race.games;
  fill(m_charts[0], stats.months, stats.games, false);
  fill(m_charts[1], stats.maps, stats.games, false);
  fill(m_charts[2], stats.races, seats, true);
  fill(m_charts[3], stats.formats, stats.games, false);

  // Race by race, each pair in both cells.
  QStringList races;
  for (const myzor::Matchup& m : stats.matchups) races << m.race_a << m.race_b;
  races.sort();
  races.removeDuplicates();
  m_matchups->clear();
  m_matchups->setRowCount(static_cast<int>(races.size()));
  m_matchups->setColumnCount(static_cast<int>(races.size()));
  m_matchups->setHorizontalHeaderLabels(races);
  m_matchups->setVerticalHeaderLabels(races);
  m_matchups->verticalHeader()->setVisible(!races.isEmpty());
  for (const myzor::Matchup& m : stats.matchups) {
    const int a = static_cast<int>(races.indexOf(m.race_a));
    const int b = static_cast<int>(races.indexOf(m.race_b));
    const QString tip =
        tr("%1 against %2: %n game(s)", nullptr, int(m.games)).arg(m.race_a, m.race_b);
    m_matchups->setItem(a, b, cell(QVariant::fromValue(static_cast<qlonglong>(m.games)), tip));
    if (a != b)
      m_matchups->setItem(b, a, cell(QVariant::fromValue(static_cast<qlonglong>(m.games)), tip));
  }

  const int top = static_cast<int>(std::min<std::size_t>(stats.players.size(), 20));
  m_players->setRowCount(top);
  for (int i = 0; i < top; ++i) {
    const myzor::PlayerStats& p = stats.players[static_cast<std::size_t>(i)];
    QStringList races_played;
    for (const myzor::NameCount& race : p.races)
      races_played << QStringLiteral("%1 %2").arg(race.name).arg(race.games);
    m_players->setItem(i, 0, cell(p.name));
    m_players->setItem(i, 1, cell(QVariant::fromValue(static_cast<qlonglong>(p.games))));
    m_players->setItem(i, 2, cell(races_played.join(QStringLiteral(", "))));
  }
  emit shown();
}

void StatisticsView::saveChart() {
  const int tab = m_tabs->currentIndex();
  if (tab < 0 || tab >= static_cast<int>(m_charts.size())) return;
  const Chart& chart = m_charts[static_cast<std::size_t>(tab)];
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  QString file = QFileDialog::getSaveFileName(
      this, tr("Save chart as PNG"), QDir(folder).filePath(chart.name + QStringLiteral(".png")),
      tr("PNG pictures (*.png)"));
  if (file.isEmpty()) return;
  // The dialog has asked before replacing a file; a replay is never the target.
  if (!file.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) file += QStringLiteral(".png");
  const QImage image = chart.view->grab().toImage();
  m_save->setEnabled(false);
  QtConcurrent::run([image, file] {
    return image.save(file, "PNG");
  }).then(this, [this, file](bool saved) {
    m_save->setEnabled(m_tabs->currentIndex() < static_cast<int>(m_charts.size()));
    m_save_status->setText(
        saved ? tr("Saved %1").arg(QDir::toNativeSeparators(file))
              : tr("%1: could not be written").arg(QDir::toNativeSeparators(file)));
  });
}
