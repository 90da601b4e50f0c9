#include "library/library_filter.h"

#include "library/library_model.h"

#include <QLocale>

#include <utility>

namespace myzor {
namespace {

// Sorted by name: the hint lists them in this order.
constexpr std::pair<const char*, int> kKeys[] = {
    {"game", LibraryModel::GameColumn},       {"map", LibraryModel::MapColumn},
    {"player", LibraryModel::PlayersColumn},  {"race", LibraryModel::RacesColumn},
    {"status", LibraryModel::StatusColumn},   {"team", LibraryModel::TeamsColumn},
    {"version", LibraryModel::VersionColumn},
};

int columnForKey(QStringView key) {
  for (const auto& [name, column] : kKeys) {
    if (key.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) return column;
  }
  return -1;
}

// A word "name:rest" whose name is letters only is meant as a field; any
// other colon (a time "12:30", a path) is part of the text.
bool looksLikeField(QStringView key) {
  if (key.isEmpty()) return false;
  for (const QChar c : key) {
    if (!c.isLetter()) return false;
  }
  return true;
}

// Calls `take(word, colon)` for each word of the search: a word runs to the
// next blank outside quotes, the quotes dropped; `colon` is where the first
// colon outside quotes stands in the word, or -1.
template <typename Take>
void forEachWord(const QString& text, Take take) {
  qsizetype i = 0;
  const qsizetype n = text.size();
  while (i < n) {
    while (i < n && text[i].isSpace()) ++i;
    if (i >= n) break;
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
    take(word, colon);
  }
}

}  // namespace

QString SearchProblem(const QString& text) {
  QString problem;
  forEachWord(text, [&problem](const QString& word, qsizetype colon) {
    if (!problem.isEmpty() || colon <= 0) return;
    const QStringView key = QStringView(word).left(colon);
    if (!looksLikeField(key) || columnForKey(key) >= 0) return;
    QStringList names;
    for (const auto& entry : kKeys) names << QLatin1String(entry.first);
    problem = QStringLiteral("unknown field %1: %2").arg(key.toString(), names.join(QStringLiteral(", ")));
  });
  return problem;
}

std::vector<SearchTerm> ParseSearch(const QString& text) {
  std::vector<SearchTerm> terms;
  forEachWord(text, [&terms](QString word, qsizetype colon) {
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
  });
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
  m_invalid = !SearchProblem(text).isEmpty();
  invalidateFilter();
}

bool LibraryFilter::filterAcceptsRow(int source_row, const QModelIndex& source_parent) const {
  if (m_invalid) return false;
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
