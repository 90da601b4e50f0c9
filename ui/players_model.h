// The Players view's table: one row per player of the library's rows, read
// from the statistics as they are, with nothing copied into items.
#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "library/stats/replay_stats.h"

class PlayersModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column {
    NameColumn,
    GamesColumn,
    FirstColumn,
    LastColumn,
    RacesColumn,
    MapsColumn,
    TeammatesColumn,
    OpponentsColumn,
    ColumnCount
  };

  explicit PlayersModel(QObject* parent = nullptr);

  void setPlayers(std::vector<myzor::PlayerStats> players);
  // The player of `row` (a row of this model).
  [[nodiscard]] const myzor::PlayerStats& player(int row) const {
    return m_players[static_cast<std::size_t>(row)];
  }

  [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
  [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
  [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
  [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                    int role) const override;

 private:
  std::vector<myzor::PlayerStats> m_players;
};
