#include "library/model/library_model.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <utility>

namespace myzor {

LibraryModel::LibraryModel(QObject* parent) : QAbstractTableModel(parent) {}

QModelIndex LibraryModel::index(int row, int column, const QModelIndex& parent) const {
  if (parent.isValid() || row < 0 || column < 0 || row >= static_cast<int>(m_rows.size()) ||
      column >= ColumnCount)
    return {};
  return createIndex(row, column);
}

int LibraryModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int LibraryModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

namespace {

// The rows of a large folder take tens of megabytes, filled in one go as
// they come: in large pages the window's thread takes a few hundred page
// faults for them instead of thousands. Only advice; it may be ignored.
void preferLargePages(const void* data, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto begin = (reinterpret_cast<std::uintptr_t>(data) + page - 1) & ~(page - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(page - 1);
  if (end > begin) (void)::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

}  // namespace

QVariant LibraryModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount) return {};
  const Entry& entry = m_rows[static_cast<std::size_t>(index.row())];
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole:
      return CellText(entry.row, column);
    case Qt::ToolTipRole:
      // Long cells are cut off at the column's edge.
      if (column == ModifiedColumn || column == SizeColumn) return {};
      return CellText(entry.row, column);
    case Qt::TextAlignmentRole:
      if (column == SizeColumn) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      if (column == FavouriteColumn || column == WatchedColumn)
        return QVariant::fromValue(Qt::AlignCenter);
      return {};
    case Qt::AccessibleTextRole:
      // The signs said in words.
      if (!entry.row.notes) return {};
      if (column == RatingColumn && entry.row.notes->rating > 0)
        return tr("%n of 5 stars", nullptr, entry.row.notes->rating);
      if (column == FavouriteColumn && entry.row.notes->favourite) return tr("Favourite");
      if (column == WatchedColumn && entry.row.notes->watched) return tr("Watched");
      return {};
    case SortRole:
      if (column == ModifiedColumn) return QVariant::fromValue<qint64>(entry.row.file.mtime_ns);
      if (column == SizeColumn) return QVariant::fromValue<qint64>(entry.row.file.size);
      if (column == RatingColumn)
        return QVariant::fromValue<qint64>(entry.row.notes ? entry.row.notes->rating : 0);
      if (column == FavouriteColumn)
        return QVariant::fromValue<qint64>(entry.row.notes && entry.row.notes->favourite);
      if (column == WatchedColumn)
        return QVariant::fromValue<qint64>(entry.row.notes && entry.row.notes->watched);
      return CellText(entry.row, column);
    case SearchRole:
      return QString::fromUtf8(searchRow(index.row()).column(static_cast<std::size_t>(column)));
    case PathRole:
      return entry.row.file.path;
    default:
      return {};
  }
}

QVariant LibraryModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case FileColumn:
      return tr("File");
    case FolderColumn:
      return tr("Folder");
    case ModifiedColumn:
      return tr("Modified");
    case SizeColumn:
      return tr("Size");
    case GameColumn:
      return tr("Game");
    case MapColumn:
      return tr("Map");
    case PlayersColumn:
      return tr("Players");
    case TeamsColumn:
      return tr("Teams");
    case RacesColumn:
      return tr("Races");
    case VersionColumn:
      return tr("Version");
    case WinConditionsColumn:
      return tr("Win conditions");
    case StatusColumn:
      return tr("Status");
    case TagsColumn:
      return tr("Tags");
    case RatingColumn:
      return tr("Rating");
    case FavouriteColumn:
      return tr("Favourite");
    case WatchedColumn:
      return tr("Watched");
    case NoteColumn:
      return tr("Note");
    default:
      return {};
  }
}

LibraryModel::Entry LibraryModel::makeEntry(ReplayRow row) {
  FoldedRow folded = FoldRow(row);
  return {std::move(row), std::move(folded)};
}

SearchRow LibraryModel::searchRow(int index) const {
  const Entry& entry = m_rows[static_cast<std::size_t>(index)];
  return SearchRowOf(entry.row, entry.folded);
}

void LibraryModel::reserve(int rows) {
  if (rows <= rowCount()) return;
  m_rows.reserve(static_cast<std::size_t>(rows));
  preferLargePages(m_rows.data(), m_rows.capacity() * sizeof(Entry));
  m_index.reserve(rows);
}

void LibraryModel::attachNotes(Entry& entry) const {
  const auto found = m_notes.constFind(entry.row.file.path);
  const std::shared_ptr<const ReplayNotes> notes =
      found == m_notes.cend() ? nullptr : found.value();
  if (notes == entry.row.notes) return;
  entry.row.notes = notes;
  RefoldNotes(entry.folded, entry.row);
}

void LibraryModel::setNotes(NotesByPath notes) {
  m_notes = std::move(notes);
  // Runs of changed rows, each said in one signal.
  int first = -1;
  int last = -1;
  const auto flush = [&] {
    if (first >= 0) emit dataChanged(index(first, kFirstNotesColumn), index(last, ColumnCount - 1));
    first = last = -1;
  };
  for (std::size_t i = 0; i < m_rows.size(); ++i) {
    Entry& entry = m_rows[i];
    const auto found = m_notes.constFind(entry.row.file.path);
    const std::shared_ptr<const ReplayNotes> now =
        found == m_notes.cend() ? nullptr : found.value();
    const bool same =
        now == entry.row.notes || (now && entry.row.notes && *now == *entry.row.notes);
    if (same) {
      if (now) entry.row.notes = now;
      continue;
    }
    entry.row.notes = now;
    RefoldNotes(entry.folded, entry.row);
    const int at = static_cast<int>(i);
    if (first >= 0 && at != last + 1) flush();
    if (first < 0) first = at;
    last = at;
  }
  flush();
}

void LibraryModel::appendEntries(std::vector<Entry> entries) {
  if (entries.empty()) return;
  if (!m_notes.isEmpty())
    for (Entry& entry : entries) attachNotes(entry);
  const int first = rowCount();
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(entries.size()) - 1);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    m_index.insert(entries[i].row.file.path, first + static_cast<int>(i));
    if (!entries[i].row.read) ++m_unread;
  }
  m_rows.insert(m_rows.end(), std::make_move_iterator(entries.begin()),
                std::make_move_iterator(entries.end()));
  endInsertRows();
}

void LibraryModel::upsertEntries(std::vector<Entry> entries) {
  std::vector<Entry> added;
  for (Entry& entry : entries) {
    const int at = rowOf(entry.row.file.path);
    if (at < 0) {
      added.push_back(std::move(entry));
      continue;
    }
    m_unread += static_cast<int>(!entry.row.read) - static_cast<int>(!row(at).read);
    attachNotes(entry);
    m_rows[static_cast<std::size_t>(at)] = std::move(entry);
    emit dataChanged(index(at, 0), index(at, ColumnCount - 1));
  }
  appendEntries(std::move(added));
}

void LibraryModel::removePaths(const QList<QByteArray>& paths) {
  std::vector<int> rows;
  for (const QByteArray& path : paths) {
    const int at = rowOf(path);
    if (at >= 0) rows.push_back(at);
  }
  if (rows.empty()) return;
  // From the bottom up, so the rows still to go keep their numbers.
  std::sort(rows.begin(), rows.end(), std::greater<>());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  // Rows side by side go in one removal.
  for (std::size_t i = 0; i < rows.size();) {
    const int last = rows[i];
    int first = last;
    for (++i; i < rows.size() && rows[i] == first - 1; ++i) first = rows[i];
    for (int at = first; at <= last; ++at)
      if (!row(at).read) --m_unread;
    beginRemoveRows(QModelIndex(), first, last);
    m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
    endRemoveRows();
  }
  reindex();
}

void LibraryModel::reindex() {
  m_index.clear();
  m_index.reserve(static_cast<qsizetype>(m_rows.size()));
  for (std::size_t i = 0; i < m_rows.size(); ++i)
    m_index.insert(m_rows[i].row.file.path, static_cast<int>(i));
}

void LibraryModel::appendRows(std::vector<ReplayRow> rows) {
  std::vector<Entry> entries;
  entries.reserve(rows.size());
  for (ReplayRow& row : rows) entries.push_back(makeEntry(std::move(row)));
  appendEntries(std::move(entries));
}

void LibraryModel::clear() {
  if (m_rows.empty()) return;
  beginResetModel();
  m_rows.clear();
  m_rows.shrink_to_fit();
  m_index.clear();
  m_unread = 0;
  endResetModel();
}

}  // namespace myzor
