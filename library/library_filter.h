// Sorting and searching the library's table.
#pragma once

#include <QCollator>
#include <QSortFilterProxyModel>
#include <QString>

#include <vector>

namespace myzor {

// One word of the search: the folded text to find, and the column it is
// restricted to (-1: any column).
struct SearchTerm {
  int column = -1;
  QString text;
  friend bool operator==(const SearchTerm&, const SearchTerm&) = default;
};

// Splits the search text into words (quotes keep words together); a word
// that starts with "player:", "map:", "game:", "race:", "team:", "version:"
// or "status:" looks only in that column.
[[nodiscard]] std::vector<SearchTerm> ParseSearch(const QString& text);

// Empty when `text` is a valid search, else a hint for the user, e.g.
// "unknown field foo: game, map, player, …". A search with a problem lists
// no rows.
[[nodiscard]] QString SearchProblem(const QString& text);

class LibraryFilter : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  explicit LibraryFilter(QObject* parent = nullptr);

  // Shows only the rows that hold every word of `text`.
  void setSearchText(const QString& text);
  [[nodiscard]] const QString& searchText() const { return m_search_text; }

 protected:
  [[nodiscard]] bool filterAcceptsRow(int source_row, const QModelIndex& source_parent) const override;
  [[nodiscard]] bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

 private:
  QString m_search_text;
  std::vector<SearchTerm> m_terms;
  bool m_invalid = false;
  QCollator m_collator;
};

}  // namespace myzor
