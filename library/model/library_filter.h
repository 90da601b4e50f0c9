// Sorting and searching the library's table.
#pragma once

#include <QList>
#include <QSortFilterProxyModel>
#include <QString>
#include <QThreadPool>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "library/search/collation.h"
#include "library/search/query.h"

namespace myzor {

class LibraryModel;

class LibraryFilter : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  explicit LibraryFilter(QObject* parent = nullptr);
  ~LibraryFilter() override;

  // Shows only the rows the search `text` holds for; the text is compiled
  // here, once per change.
  void setSearchText(const QString& text);
  // Names that are one person: player: finds all of them.
  void setPersons(PersonNames persons);
  [[nodiscard]] const QString& searchText() const { return m_search_text; }
  // The hint for the current search text; empty when it is valid.
  [[nodiscard]] const SearchProblem& searchProblem() const { return m_query.problem; }

  // Searches only the rows of a LibraryModel; another model's rows are shown
  // when the search is empty.
  void setSourceModel(QAbstractItemModel* model) override;
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

 signals:
  void searchProblemChanged(const myzor::SearchProblem& problem);

 protected:
  [[nodiscard]] bool filterAcceptsRow(int source_row,
                                      const QModelIndex& source_parent) const override;
  [[nodiscard]] bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

 private:
  // A cell's place in the order: numbers before texts, texts by their
  // collation keys, which lie back to back in one buffer so that a sort
  // compares bytes close together.
  struct SortKey {
    std::int64_t number = 0;
    std::uint32_t offset = 0;
    std::uint32_t length = kNumber;
    static constexpr std::uint32_t kNumber = 0xffffffff;
  };
  // The keys of every source row for the column sorted by, made once per row
  // rather than once per comparison, and kept as rows come, go and change.
  void makeKeys(int column) const;
  [[nodiscard]] SortKey keyOf(int source_row, int column) const;
  void insertKeys(int first, int last);
  void removeKeys(int first, int last);
  void updateKeys(int first, int last);
  void dropKeys();
  [[nodiscard]] bool keyLess(const SortKey& a, const SortKey& b) const;
  // Each row's place among all rows by its key, ties alike, made at once on
  // every core, so that a sort compares two numbers; dropped as rows come,
  // change and go, and made again before the next whole sort.
  void makeRanks() const;

  QString m_search_text;
  SearchQuery m_query;
  PersonNames m_persons;
  // While a new search is applied: whether each source row matches it.
  std::vector<char> m_matched;
  // The threads that match and sort beside the window's thread: their own,
  // so that the work is still shared while the library's long work (a
  // folder checked, statistics counted) holds the shared pool, where the
  // window's thread would be left to do it alone.
  mutable QThreadPool m_pool;
  bool m_use_matched = false;
  const LibraryModel* m_rows = nullptr;
  std::unique_ptr<Collation> m_collation;
  mutable int m_key_column = -1;  // -1: no keys made
  mutable std::vector<SortKey> m_keys;
  mutable std::string m_key_bytes;
  mutable std::vector<int> m_ranks;
  QList<QMetaObject::Connection> m_key_connections;
};

}  // namespace myzor
