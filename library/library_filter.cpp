#include "library/library_filter.h"

#include "library/library_model.h"

#include <QLocale>

#include <utility>

namespace myzor {
namespace {

int columnForKey(QStringView key) {
  static const std::pair<const char*, int> keys[] = {
      {"player", LibraryModel::PlayersColumn}, {"map", LibraryModel::MapColumn},
      {"game", LibraryModel::GameColumn},      {"race", LibraryModel::RacesColumn},
      {"team", LibraryModel::TeamsColumn},     {"version", LibraryModel::VersionColumn},
      {"status", LibraryModel::StatusColumn},
  };
  for (const auto& [name, column] : keys) {
    if (key.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) return column;
  }
  return -1;
}

}  // namespace

std::vector<SearchTerm> ParseSearch(const QString& text) {
  std::vector<SearchTerm> terms;
  qsizetype i = 0;
  const qsizetype n = text.size();
  while (i < n) {
    while (i < n && text[i].isSpace()) ++i;
    if (i >= n) break;
    // A word runs to the next blank outside quotes; quotes are dropped.
    QString word;
    qsizetype colon = -1;
    bool quoted = false;
    for (; i < n && (quoted || !text[i].isSpace()); ++i) {
      if (text[i] == QLatin1Char('"')) {
        quoted = !quoted;
        continue;
      }
      if (colon < 0 && !quoted && text[i] == QLatin1Char(':')) colon = word.size();
      word.append(text[i]);
    }
    SearchTerm term;
    if (colon > 0) {
      const int column = columnForKey(QStringView(word).left(colon));
      if (column >= 0) {
        term.column = column;
        word.remove(0, colon + 1);
      }
    }
    term.text = FoldForSearch(word);
    if (!term.text.isEmpty()) terms.push_back(std::move(term));
  }
  return terms;
}

namespace {

// The user's locale; the C locale compares code points and ignores the
// numeric mode, so it sorts as English does.
QLocale collationLocale() {
  const QLocale locale;
  return locale.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates) : locale;
}

}  // namespace

LibraryFilter::LibraryFilter(QObject* parent) : QSortFilterProxyModel(parent), m_collator(collationLocale()) {
  m_collator.setNumericMode(true);
  m_collator.setCaseSensitivity(Qt::CaseInsensitive);
  setSortRole(LibraryModel::SortRole);
  setDynamicSortFilter(true);
}

void LibraryFilter::setSearchText(const QString& text) {
  if (text == m_search_text) return;
  m_search_text = text;
  m_terms = ParseSearch(text);
  invalidateFilter();
}

bool LibraryFilter::filterAcceptsRow(int source_row, const QModelIndex& source_parent) const {
  if (m_terms.empty()) return true;
  const QAbstractItemModel* model = sourceModel();
  const int columns = model->columnCount(source_parent);
  const auto has = [&](int column, const QString& text) {
    return model->index(source_row, column, source_parent)
        .data(LibraryModel::SearchRole)
        .toString()
        .contains(text);
  };
  for (const SearchTerm& term : m_terms) {
    bool found = false;
    if (term.column >= 0) {
      found = has(term.column, term.text);
    } else {
      for (int column = 0; column < columns && !found; ++column) found = has(column, term.text);
    }
    if (!found) return false;
  }
  return true;
}

bool LibraryFilter::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  const QVariant a = left.data(LibraryModel::SortRole);
  const QVariant b = right.data(LibraryModel::SortRole);
  if (a.typeId() == QMetaType::LongLong && b.typeId() == QMetaType::LongLong)
    return a.toLongLong() < b.toLongLong();
  return m_collator.compare(a.toString(), b.toString()) < 0;
}

}  // namespace myzor
