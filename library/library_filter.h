// Sorting and searching the library's table.
#pragma once

#include "library/search/query.h"

#include <QCollator>
#include <QSortFilterProxyModel>
#include <QString>

#include <vector>

namespace myzor {

class LibraryModel;

// The terms of the search text, as CompileSearch makes them: words (quotes
// keep words together), "-word", "a OR b", and fields such as "player:",
// "version:", "date:", "after:", "before:" and "count:".
[[nodiscard]] std::vector<SearchTerm> ParseSearch(const QString& text);

// Empty when `text` is a valid search, else a hint for the user, e.g.
// "unknown field foo: game, map, player, …" or "malformed date 2024-13: …".
// A search with a problem lists no rows.
[[nodiscard]] QString SearchProblem(const QString& text);

class LibraryFilter : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  explicit LibraryFilter(QObject* parent = nullptr);

  // Shows only the rows the search `text` holds for; the text is compiled
  // here, once per change.
  void setSearchText(const QString& text);
  [[nodiscard]] const QString& searchText() const { return m_search_text; }
  // The hint for the current search text; empty when it is valid.
  [[nodiscard]] const QString& searchProblem() const { return m_query.problem; }

  // Searches only the rows of a LibraryModel; another model's rows are shown
  // when the search is empty.
  void setSourceModel(QAbstractItemModel* model) override;

 signals:
  void searchProblemChanged(const QString& problem);

 protected:
  [[nodiscard]] bool filterAcceptsRow(int source_row, const QModelIndex& source_parent) const override;
  [[nodiscard]] bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

 private:
  QString m_search_text;
  SearchQuery m_query;
  const LibraryModel* m_rows = nullptr;
  QCollator m_collator;
};

}  // namespace myzor
