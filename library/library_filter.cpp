#include "library/library_filter.h"

#include "library/library_model.h"

#include <QLocale>

#include <utility>

namespace myzor {

std::vector<SearchTerm> ParseSearch(const QString& text) { return CompileSearch(text).terms; }

QString SearchProblem(const QString& text) { return CompileSearch(text).problem; }

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

void LibraryFilter::setSourceModel(QAbstractItemModel* model) {
  m_rows = qobject_cast<const LibraryModel*>(model);
  QSortFilterProxyModel::setSourceModel(model);
}

void LibraryFilter::setSearchText(const QString& text) {
  if (text == m_search_text) return;
  m_search_text = text;
  const QString problem = m_query.problem;
  m_query = CompileSearch(text);
  invalidate();
  if (m_query.problem != problem) emit searchProblemChanged(m_query.problem);
}

bool LibraryFilter::filterAcceptsRow(int source_row, const QModelIndex& source_parent) const {
  if (source_parent.isValid()) return false;
  if (m_rows == nullptr) return m_query.terms.empty() && m_query.problem.isEmpty();
  return m_query.matches(m_rows->searchRow(source_row));
}

bool LibraryFilter::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  const QVariant a = left.data(LibraryModel::SortRole);
  const QVariant b = right.data(LibraryModel::SortRole);
  if (a.typeId() == QMetaType::LongLong && b.typeId() == QMetaType::LongLong)
    return a.toLongLong() < b.toLongLong();
  return m_collator.compare(a.toString(), b.toString()) < 0;
}

}  // namespace myzor
