// The library's table: one row per replay file, in the order the rows came.
#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <array>
#include <memory>
#include <vector>

#include "library/core/columns.h"
#include "library/core/replay_row.h"
#include "library/search/folded_row.h"
#include "library/search/query.h"

namespace myzor {

class LibraryModel : public QAbstractTableModel, public ReplayColumns {
  Q_OBJECT

 public:
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
  [[nodiscard]] QModelIndex index(int row, int column,
                                  const QModelIndex& parent = QModelIndex()) const override;
  [[nodiscard]] int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  [[nodiscard]] int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  [[nodiscard]] QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                    int role = Qt::DisplayRole) const override;

  // A row with its cells folded for search; made on any thread, so the
  // window's thread only inserts it.
  struct Entry {
    ReplayRow row;
    FoldedRow folded;
    // Read from the file just now, not taken from what was known before.
    bool fresh = true;
  };
  [[nodiscard]] static Entry makeEntry(ReplayRow row);

  [[nodiscard]] const ReplayRow& row(int index) const {
    return m_rows[static_cast<std::size_t>(index)].row;
  }
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
  // What the user knows of replays, by path: the rows of these files show
  // it, now and when they come again; other rows show none.
  using NotesByPath = QHash<QByteArray, std::shared_ptr<const ReplayNotes>>;
  void setNotes(NotesByPath notes);
  [[nodiscard]] const NotesByPath& notes() const { return m_notes; }
  // Drops the rows of these files; a path without a row is passed over.
  void removePaths(const QList<QByteArray>& paths);
  // Rows of files not read yet.
  [[nodiscard]] int unreadCount() const { return m_unread; }
  // The row of the file at `path`, or -1.
  [[nodiscard]] int rowOf(const QByteArray& path) const { return m_index.value(path, -1); }
  void clear();

 private:
  void reindex();
  // Gives the entry the notes kept for its path.
  void attachNotes(Entry& entry) const;

  std::vector<Entry> m_rows;
  QHash<QByteArray, int> m_index;  // path -> row
  int m_unread = 0;
  NotesByPath m_notes;
};

}  // namespace myzor
