// Statistics over the rows the library's search lists: games per month,
// maps, races and formats as charts with their numbers beside them, 1v1
// matchups race by race, and the top players.
#pragma once

#include <QHash>
#include <QString>
#include <QWidget>

#include "library/stats/replay_stats.h"

class QChartView;
class QLabel;
class QPushButton;
class QTableWidget;
class QTabWidget;

namespace myzor {
class LibraryFilter;
class StatsRunner;
}  // namespace myzor

class StatisticsView : public QWidget {
  Q_OBJECT

 public:
  // `filter` (the library's search over its table) must outlive the view.
  explicit StatisticsView(myzor::LibraryFilter* filter, QWidget* parent = nullptr);
  // Names counted as the person they are (name to person).
  void setPersons(const QHash<QString, QString>& persons);

  [[nodiscard]] myzor::StatsRunner* runner() const { return m_runner; }

 signals:
  // The view shows the aggregates of the rows the search listed just now.
  void shown();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  struct Chart {
    QString name;  // file name stem and tab caption
    QChartView* view = nullptr;
    QTableWidget* table = nullptr;
  };
  void refresh();
  void showStats(const myzor::ReplayStats& stats);
  Chart addChart(const char* object_name, const QString& caption, const QString& first_column);
  void fill(const Chart& chart, const std::vector<myzor::NameCount>& counts, std::int64_t whole,
            bool pie);
  void saveChart();

  myzor::LibraryFilter* const m_filter;
  myzor::StatsRunner* const m_runner;
  QLabel* const m_games;
  QLabel* const m_failed;
  QTabWidget* const m_tabs;
  QPushButton* const m_save;
  QLabel* const m_save_status;
  std::vector<Chart> m_charts;  // months, maps, races, formats
  QTableWidget* m_matchups = nullptr;
  QTableWidget* m_players = nullptr;
  bool m_stale = true;
  QHash<QString, QString> m_persons;
};
