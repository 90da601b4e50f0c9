// Every player of the library's rows: games, dates, races, maps, teammates
// and opponents, with the badge and banner of their latest game that has them.
#pragma once

#include <QFutureWatcher>
#include <QImage>
#include <QWidget>
#include <functional>
#include <utility>

#include "library/stats/replay_stats.h"

class PlayersModel;
class QAction;
class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QTableView;
class QTextBrowser;

namespace myzor {
class ReplayLibrary;
class StatsRunner;
}  // namespace myzor

class PlayersView : public QWidget {
  Q_OBJECT

 public:
  // `library` must outlive the view; `set_search` puts a text into the
  // library's search field.
  PlayersView(myzor::ReplayLibrary* library, std::function<void(const QString&)> set_search,
              QWidget* parent = nullptr);
  ~PlayersView() override;

  [[nodiscard]] myzor::StatsRunner* runner() const { return m_runner; }
  // Stand-in for the dialog that names the person the selected names are.
  void setPersonChooser(std::function<QString(const QStringList& names)> ask) {
    m_ask_person = std::move(ask);
  }
  // As the context menu's "Merge as one player…".
  void mergeSelected();

 signals:
  // The list shows the aggregates of the rows as they were just now.
  void shown();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void refresh();
  void showStats(const myzor::ReplayStats& stats);
  void showDetails();
  void activate(const QModelIndex& index);
  void updateActions();
  void editNote();
  [[nodiscard]] QString currentName() const;
  [[nodiscard]] QStringList selectedNames() const;

  myzor::ReplayLibrary* const m_library;
  const std::function<void(const QString&)> m_set_search;
  myzor::StatsRunner* const m_runner;
  QLineEdit* const m_search;
  QTableView* const m_table;
  PlayersModel* const m_model;
  QSortFilterProxyModel* const m_proxy;
  QLabel* const m_badge;
  QLabel* const m_banner;
  QTextBrowser* const m_details;
  bool m_stale = true;
  // The pictures being read, for the player named first.
  QFutureWatcher<std::pair<QImage, QImage>> m_pictures;
  QString m_pictures_for;
  QAction* m_merge = nullptr;
  QAction* m_split = nullptr;
  QAction* m_note = nullptr;
  std::function<QString(const QStringList&)> m_ask_person;
};
