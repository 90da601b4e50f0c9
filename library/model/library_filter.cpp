#include "library/model/library_filter.h"

#include <QHash>
#include <QLocale>
#include <QtConcurrent/QtConcurrentMap>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <numeric>
#include <string_view>
#include <utility>

#include "library/model/library_model.h"

namespace myzor {

LibraryFilter::LibraryFilter(QObject* parent)
    : QSortFilterProxyModel(parent), m_collation(std::make_unique<Collation>()) {
  setSortRole(LibraryModel::SortRole);
  setDynamicSortFilter(true);
}

LibraryFilter::~LibraryFilter() = default;

void LibraryFilter::setSourceModel(QAbstractItemModel* model) {
  m_rows = qobject_cast<const LibraryModel*>(model);
  for (const QMetaObject::Connection& connection : std::exchange(m_key_connections, {}))
    disconnect(connection);
  dropKeys();
  // Connected before the proxy connects its own: the keys of new and changed
  // rows are in place when it sorts them in.
  if (model != nullptr) {
    m_key_connections = {
        connect(model, &QAbstractItemModel::rowsInserted, this,
                [this](const QModelIndex& parent, int first, int last) {
                  if (!parent.isValid()) insertKeys(first, last);
                }),
        connect(model, &QAbstractItemModel::rowsRemoved, this,
                [this](const QModelIndex& parent, int first, int last) {
                  if (!parent.isValid()) removeKeys(first, last);
                }),
        connect(model, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex& top_left, const QModelIndex& bottom_right) {
                  if (!top_left.parent().isValid()) updateKeys(top_left.row(), bottom_right.row());
                }),
        connect(model, &QAbstractItemModel::modelReset, this, &LibraryFilter::dropKeys),
        connect(model, &QAbstractItemModel::layoutChanged, this, &LibraryFilter::dropKeys),
        connect(model, &QAbstractItemModel::rowsMoved, this, &LibraryFilter::dropKeys),
    };
  }
  QSortFilterProxyModel::setSourceModel(model);
}

LibraryFilter::SortKey LibraryFilter::keyOf(int source_row, int column) const {
  const QVariant value = sourceModel()->index(source_row, column).data(LibraryModel::SortRole);
  if (value.typeId() == QMetaType::LongLong) return {value.toLongLong()};
  // The buffer only grows; it is made afresh with the next sort.
  SortKey key;
  key.offset = static_cast<std::uint32_t>(m_key_bytes.size());
  m_collation->appendKey(value.toString(), m_key_bytes);
  key.length = static_cast<std::uint32_t>(m_key_bytes.size()) - key.offset;
  return key;
}

void LibraryFilter::makeKeys(int column) const {
  const QAbstractItemModel* model = sourceModel();
  const int rows = model->rowCount();
  m_key_column = column;
  m_keys.assign(static_cast<std::size_t>(rows), SortKey{});
  // The last column's keys are let go before this one's are made.
  m_key_bytes = std::string();
  // Collation is the slow part: with many rows every core takes a share,
  // each with a collator of its own. The rows do not change meanwhile, as
  // this thread waits.
  constexpr int kShare = 8192;
  struct Share {
    int first = 0;
    std::string bytes;
  };
  std::vector<Share> shares;
  for (int first = 0; first < rows; first += kShare) shares.push_back({first, {}});
  // The table's own rows give their texts straight, with no index or
  // variant made on the way.
  const bool texts =
      m_rows != nullptr && rows > 0 &&
      model->index(0, column).data(LibraryModel::SortRole).typeId() != QMetaType::LongLong;
  const auto make = [&](Share& share) {
    const Collation collation;
    // Many cells repeat (maps, races, versions): each text gets its key once.
    // Where nearly every text is new (lists of players) looking them up
    // costs more than the keys, so a share that finds few repeats in its
    // first rows stops looking.
    QHash<QString, SortKey> made;
    constexpr int kTried = 512;
    bool dedupe = true;
    for (int row = share.first; row < std::min(rows, share.first + kShare); ++row) {
      if (dedupe && row == share.first + kTried && made.size() > kTried / 2) {
        dedupe = false;
        made = {};
      }
      SortKey& key = m_keys[static_cast<std::size_t>(row)];
      QString text;
      if (texts) {
        text = CellText(m_rows->row(row), column);
      } else {
        const QVariant value = model->index(row, column).data(LibraryModel::SortRole);
        if (value.typeId() == QMetaType::LongLong) {
          key.number = value.toLongLong();
          continue;
        }
        text = value.toString();
      }
      if (dedupe) {
        const auto found = made.constFind(text);
        if (found != made.cend()) {
          key = *found;
          continue;
        }
      }
      key.offset = static_cast<std::uint32_t>(share.bytes.size());
      collation.appendKey(text, share.bytes);
      key.length = static_cast<std::uint32_t>(share.bytes.size()) - key.offset;
      if (dedupe) made.insert(text, key);
    }
  };
  // Only the table's own rows are safe to read from other threads.
  if (m_rows != nullptr && shares.size() > 1)
    QtConcurrent::blockingMap(&m_pool, shares, make);
  else
    for (Share& share : shares) make(share);
  // Joined into room made once, each share let go as it is copied: the keys
  // are held about once, not up to three times over as a string grows.
  std::size_t total = 0;
  for (const Share& share : shares) total += share.bytes.size();
  m_key_bytes.reserve(total);
  for (Share& share : shares) {
    const auto base = static_cast<std::uint32_t>(m_key_bytes.size());
    for (int row = share.first; row < std::min(rows, share.first + kShare); ++row) {
      SortKey& key = m_keys[static_cast<std::size_t>(row)];
      if (key.length != SortKey::kNumber) key.offset += base;
    }
    m_key_bytes += share.bytes;
    share.bytes = std::string();
  }
  makeRanks();
}

void LibraryFilter::insertKeys(int first, int last) {
  m_ranks.clear();
  if (m_key_column < 0) return;
  if (first > static_cast<int>(m_keys.size())) {
    dropKeys();
    return;
  }
  std::vector<SortKey> added;
  added.reserve(static_cast<std::size_t>(last - first + 1));
  for (int row = first; row <= last; ++row) added.push_back(keyOf(row, m_key_column));
  m_keys.insert(m_keys.begin() + first, std::make_move_iterator(added.begin()),
                std::make_move_iterator(added.end()));
}

void LibraryFilter::removeKeys(int first, int last) {
  m_ranks.clear();
  if (m_key_column < 0) return;
  if (last >= static_cast<int>(m_keys.size())) {
    dropKeys();
    return;
  }
  m_keys.erase(m_keys.begin() + first, m_keys.begin() + last + 1);
}

void LibraryFilter::updateKeys(int first, int last) {
  m_ranks.clear();
  if (m_key_column < 0) return;
  if (last >= static_cast<int>(m_keys.size())) {
    dropKeys();
    return;
  }
  for (int row = first; row <= last; ++row)
    m_keys[static_cast<std::size_t>(row)] = keyOf(row, m_key_column);
}

void LibraryFilter::dropKeys() {
  m_ranks.clear();
  m_key_column = -1;
  m_keys.clear();
  m_key_bytes.clear();
}

void LibraryFilter::setPersons(PersonNames persons) {
  if (persons == m_persons) return;
  m_persons = std::move(persons);
  const QString text = std::exchange(m_search_text, QString());
  setSearchText(text);
}

void LibraryFilter::setSearchText(const QString& text) {
  if (text == m_search_text) return;
  m_search_text = text;
  const SearchProblem problem = m_query.problem;
  m_query = CompileSearch(text, m_persons);
  // Every row is matched here, on every core, and the filter below only
  // looks the answers up.
  if (m_rows != nullptr && m_query.problem.isNone() && !m_query.terms.empty()) {
    constexpr int kShare = 8192;
    const int rows = m_rows->rowCount();
    m_matched.assign(static_cast<std::size_t>(rows), 0);
    std::vector<int> shares;
    for (int first = 0; first < rows; first += kShare) shares.push_back(first);
    QtConcurrent::blockingMap(&m_pool, shares, [this, rows](int first) {
      for (int row = first; row < std::min(rows, first + kShare); ++row)
        m_matched[static_cast<std::size_t>(row)] = m_query.matches(m_rows->searchRow(row)) ? 1 : 0;
    });
  }
  m_use_matched = !m_matched.empty();
  invalidate();
  m_use_matched = false;
  m_matched = {};
  if (m_query.problem != problem) emit searchProblemChanged(m_query.problem);
}

bool LibraryFilter::filterAcceptsRow(int source_row, const QModelIndex& source_parent) const {
  if (source_parent.isValid()) return false;
  if (m_rows == nullptr) return m_query.terms.empty() && m_query.problem.isNone();
  if (m_use_matched && static_cast<std::size_t>(source_row) < m_matched.size())
    return m_matched[static_cast<std::size_t>(source_row)] != 0;
  return m_query.matches(m_rows->searchRow(source_row));
}

bool LibraryFilter::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  const int column = left.column();
  if (column != m_key_column ||
      m_keys.size() != static_cast<std::size_t>(sourceModel()->rowCount()))
    makeKeys(column);
  if (!m_ranks.empty())
    return m_ranks[static_cast<std::size_t>(left.row())] <
           m_ranks[static_cast<std::size_t>(right.row())];
  return keyLess(m_keys[static_cast<std::size_t>(left.row())],
                 m_keys[static_cast<std::size_t>(right.row())]);
}

void LibraryFilter::sort(int column, Qt::SortOrder order) {
  if (column >= 0 && column == m_key_column && m_ranks.empty()) makeRanks();
  QSortFilterProxyModel::sort(column, order);
}

void LibraryFilter::makeRanks() const {
  const auto rows = static_cast<int>(m_keys.size());
  std::vector<int> order(m_keys.size());
  std::iota(order.begin(), order.end(), 0);
  const auto less = [this](int a, int b) {
    return keyLess(m_keys[static_cast<std::size_t>(a)], m_keys[static_cast<std::size_t>(b)]);
  };
  // Two halves sorted at once, then merged.
  constexpr int kAlone = 16384;
  const auto middle = order.begin() + rows / 2;
  if (rows >= kAlone && m_rows != nullptr) {
    auto other = QtConcurrent::run(&m_pool, [&] { std::sort(middle, order.end(), less); });
    std::sort(order.begin(), middle, less);
    other.waitForFinished();
    std::inplace_merge(order.begin(), middle, order.end(), less);
  } else {
    std::sort(order.begin(), order.end(), less);
  }
  m_ranks.assign(m_keys.size(), 0);
  int rank = 0;
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (i > 0 && less(order[i - 1], order[i])) ++rank;
    m_ranks[static_cast<std::size_t>(order[i])] = rank;
  }
}

bool LibraryFilter::keyLess(const SortKey& a, const SortKey& b) const {
  const bool a_number = a.length == SortKey::kNumber;
  const bool b_number = b.length == SortKey::kNumber;
  if (a_number || b_number) return a_number && b_number ? a.number < b.number : a_number;
  return std::string_view(m_key_bytes).substr(a.offset, a.length) <
         std::string_view(m_key_bytes).substr(b.offset, b.length);
}

}  // namespace myzor
