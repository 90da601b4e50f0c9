#include "ui/players_model.h"

#include <QStringList>

namespace {

QString listed(const std::vector<myzor::NameCount>& list, std::size_t limit) {
  QStringList parts;
  for (std::size_t i = 0; i < list.size() && i < limit; ++i)
    parts.append(QStringLiteral("%1 (%2)").arg(list[i].name).arg(list[i].games));
  return parts.join(QStringLiteral(", "));
}

}  // namespace

PlayersModel::PlayersModel(QObject* parent) : QAbstractTableModel(parent) {}

void PlayersModel::setPlayers(std::vector<myzor::PlayerStats> players) {
  beginResetModel();
  m_players = std::move(players);
  endResetModel();
}

int PlayersModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_players.size());
}

int PlayersModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant PlayersModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const myzor::PlayerStats& p = player(index.row());
  if (role == Qt::DisplayRole) {
    switch (index.column()) {
      case NameColumn:
        return p.name;
      case GamesColumn:
        return QVariant::fromValue(static_cast<qlonglong>(p.games));
      case FirstColumn:
        return p.first;
      case LastColumn:
        return p.last;
      case RacesColumn:
        return listed(p.races, 2);
      case MapsColumn:
        return p.maps.empty() ? QString() : p.maps.front().name;
      case TeammatesColumn:
        return listed(p.teammates, 3);
      case OpponentsColumn:
        return listed(p.opponents, 3);
      default:
        return {};
    }
  }
  if (role == Qt::ToolTipRole) {
    switch (index.column()) {
      case NameColumn:
        return p.name;
      case RacesColumn:
        return listed(p.races, SIZE_MAX);
      case MapsColumn:
        return listed(p.maps, 5);
      case TeammatesColumn:
        return listed(p.teammates, 5);
      case OpponentsColumn:
        return listed(p.opponents, 5);
      default:
        return {};
    }
  }
  return {};
}

QVariant PlayersModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case NameColumn:
      return tr("Player");
    case GamesColumn:
      return tr("Games");
    case FirstColumn:
      return tr("First");
    case LastColumn:
      return tr("Last");
    case RacesColumn:
      return tr("Races");
    case MapsColumn:
      return tr("Maps");
    case TeammatesColumn:
      return tr("Teammates");
    case OpponentsColumn:
      return tr("Opponents");
    default:
      return {};
  }
}
