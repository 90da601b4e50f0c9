// The library's table: one row per replay file, in the order the rows came.
#pragma once

#include "library/replay_row.h"
#include "library/search/fold.h"
#include "library/search/query.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <array>
#include <vector>

namespace myzor {

class LibraryModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column {
    FileColumn,
    FolderColumn,
    ModifiedColumn,
    SizeColumn,
    GameColumn,
    MapColumn,
    PlayersColumn,
    TeamsColumn,
    RacesColumn,
    VersionColumn,
    WinConditionsColumn,
    StatusColumn,
    ColumnCount
  };
  enum Role {
    // Numbers and dates as numbers (qint64), texts as shown.
    SortRole = Qt::UserRole + 1,
    // The cell's text folded for search: case folded, accents dropped.
    SearchRole,
    // The file's absolute path in the file system's bytes (QByteArray).
    PathRole,
  };

  explicit LibraryModel(QObject* parent = nullptr);

  // Without the base class's two virtual calls: sorting asks for an index
  // twice per comparison.
  [[nodiscard]] QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
  [[nodiscard]] int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  [[nodiscard]] int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  [[nodiscard]] QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                    int role = Qt::DisplayRole) const override;

  // A row with its cells folded for search; made on any thread, so the
  // window's thread only inserts it.
  struct Entry {
    ReplayRow row;
    // Every cell's folded text, '\n' between: a word searched in any column
    // is looked for once per row, a word of one column in its part.
    QByteArray folded_all;  // UTF-8
    std::array<std::uint32_t, ColumnCount> folded_ends{};
    // Read from the file just now, not taken from what was known before.
    bool fresh = true;
  };
  [[nodiscard]] static Entry makeEntry(ReplayRow row);

  [[nodiscard]] const ReplayRow& row(int index) const { return m_rows[static_cast<std::size_t>(index)].row; }
  // What the search looks at in the row.
  [[nodiscard]] SearchRow searchRow(int index) const;

  // Room for this many rows in all, made before they come.
  void reserve(int rows);
  // Appends at the end as one insertion.
  void appendEntries(std::vector<Entry> entries);
  void appendRows(std::vector<ReplayRow> rows);
  // Rows of files already in the table replace their old rows; the others
  // are appended.
  void upsertEntries(std::vector<Entry> entries);
  // Drops the rows of these files; a path without a row is passed over.
  void removePaths(const QList<QByteArray>& paths);
  // Rows of files not read yet.
  [[nodiscard]] int unreadCount() const { return m_unread; }
  // The row of the file at `path`, or -1.
  [[nodiscard]] int rowOf(const QByteArray& path) const { return m_index.value(path, -1); }
  void clear();

  // The cell's text as the table shows it.
  [[nodiscard]] static QString text(const ReplayRow& row, int column);

 private:
  // A damaged file's reason, its path given relative to the library's folder.
  [[nodiscard]] static QString statusText(const ReplayRow& row);
  // The cell's text folded, as `text` gives it, with no copy of the texts
  // the row holds.
  static void appendFoldedCell(QByteArray& out, const ReplayRow& row, int column);

  void reindex();

  std::vector<Entry> m_rows;
  QHash<QByteArray, int> m_index;  // path -> row
  int m_unread = 0;
};

}  // namespace myzor
