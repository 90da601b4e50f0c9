#include "library/search/query.h"

#include <QDate>
#include <QDateTime>
#include <QStringList>
#include <cstring>
#include <optional>
#include <string_view>

#include "library/core/columns.h"
#include "library/search/fold.h"

namespace myzor {
namespace {

enum class Field { Column, Version, Date, After, Before, Count, Tag, Rating, Is };

struct Key {
  const char* name;
  Field field;
  int column;
};

// The hint lists the fields in this order: the columns first.
constexpr Key kKeys[] = {
    {"game", Field::Column, ReplayColumns::GameColumn},
    {"map", Field::Column, ReplayColumns::MapColumn},
    {"player", Field::Column, ReplayColumns::PlayersColumn},
    {"race", Field::Column, ReplayColumns::RacesColumn},
    {"status", Field::Column, ReplayColumns::StatusColumn},
    {"team", Field::Column, ReplayColumns::TeamsColumn},
    {"version", Field::Version, ReplayColumns::VersionColumn},
    {"date", Field::Date, ReplayColumns::ModifiedColumn},
    {"after", Field::After, ReplayColumns::ModifiedColumn},
    {"before", Field::Before, ReplayColumns::ModifiedColumn},
    {"count", Field::Count, ReplayColumns::PlayersColumn},
    {"tag", Field::Tag, ReplayColumns::TagsColumn},
    {"note", Field::Column, ReplayColumns::NoteColumn},
    {"rating", Field::Rating, ReplayColumns::RatingColumn},
    {"is", Field::Is, ReplayColumns::FavouriteColumn},
};

const Key* keyNamed(QStringView name) {
  for (const Key& key : kKeys) {
    if (name.compare(QLatin1String(key.name), Qt::CaseInsensitive) == 0) return &key;
  }
  return nullptr;
}

// A word "name:rest" whose name is letters only is meant as a field; any
// other colon (a time "12:30", a path) is part of the text.
bool looksLikeField(QStringView name) {
  if (name.isEmpty()) return false;
  for (const QChar c : name) {
    if (!c.isLetter()) return false;
  }
  return true;
}

struct Word {
  QString text;
  qsizetype colon = -1;  // the first colon outside quotes, or -1
  bool negated = false;
  bool is_or = false;
  bool whole = false;  // ":=": the field's whole value
};

// A word runs to the next blank outside quotes, the quotes dropped; a dash
// or an OR in quotes is text. Within quotes \" and \\ stand for the
// character after the backslash; any other backslash is itself.
std::vector<Word> splitWords(const QString& text) {
  std::vector<Word> words;
  qsizetype i = 0;
  const qsizetype n = text.size();
  while (i < n) {
    while (i < n && text[i].isSpace()) ++i;
    if (i >= n) break;
    Word word;
    bool quoted = false;
    bool any_quote = false;
    if (text[i] == u'-' && i + 1 < n && !text[i + 1].isSpace()) {
      word.negated = true;
      ++i;
    }
    for (; i < n && (quoted || !text[i].isSpace()); ++i) {
      if (text[i] == u'"') {
        quoted = !quoted;
        any_quote = true;
        continue;
      }
      if (quoted && text[i] == u'\\' && i + 1 < n &&
          (text[i + 1] == u'"' || text[i + 1] == u'\\')) {
        word.text.append(text[++i]);
        continue;
      }
      if (word.colon < 0 && !quoted && text[i] == u':') {
        word.colon = word.text.size();
        if (i + 1 < n && text[i + 1] == u'=') {
          word.whole = true;
          word.text.append(text[i++]);
          continue;
        }
      }
      word.text.append(text[i]);
    }
    word.is_or = !word.negated && !any_quote && word.text == QLatin1String("OR");
    words.push_back(std::move(word));
  }
  return words;
}

bool allDigits(QStringView text) {
  if (text.isEmpty()) return false;
  for (const QChar c : text) {
    if (c < u'0' || c > u'9') return false;
  }
  return true;
}

std::int64_t localStartNs(const QDate& day) {
  return day.startOfDay().toMSecsSinceEpoch() * 1'000'000;
}

// "2024", "2024-05" or "2024-05-17" as the span of local time it names:
// [start, end) in nanoseconds since the epoch.
std::optional<std::pair<std::int64_t, std::int64_t>> periodOf(QStringView value) {
  const QList<QStringView> parts = value.split(u'-');
  if (parts.size() > 3 || parts[0].size() != 4) return std::nullopt;
  for (qsizetype i = 0; i < parts.size(); ++i) {
    if (!allDigits(parts[i]) || (i > 0 && parts[i].size() > 2)) return std::nullopt;
  }
  const int year = parts[0].toInt();
  const int month = parts.size() > 1 ? parts[1].toInt() : 1;
  const int day = parts.size() > 2 ? parts[2].toInt() : 1;
  const QDate start(year, month, day);
  if (!start.isValid()) return std::nullopt;
  const QDate end = parts.size() == 3   ? start.addDays(1)
                    : parts.size() == 2 ? start.addMonths(1)
                                        : start.addYears(1);
  return std::pair{localStartNs(start), localStartNs(end)};
}

SearchProblem problemOf(SearchProblem::Kind kind, QStringView value) {
  return {kind, value.toString()};
}

// The columns that list items with ", " between.
bool isList(int column) {
  return column == ReplayColumns::PlayersColumn || column == ReplayColumns::RacesColumn ||
         column == ReplayColumns::TagsColumn;
}

// "4", ">=4", ">4", "<=2", "<2": the comparison and the rating, 0 to 5.
bool ratingOf(QStringView value, SearchTerm& term) {
  using Compare = SearchTerm::Compare;
  struct Sign {
    const char* text;
    Compare compare;
  };
  constexpr Sign kSigns[] = {{">=", Compare::greater_equal},
                             {"<=", Compare::less_equal},
                             {">", Compare::greater},
                             {"<", Compare::less},
                             {"=", Compare::equal}};
  term.compare = Compare::equal;
  for (const Sign& sign : kSigns) {
    if (value.startsWith(QLatin1String(sign.text))) {
      term.compare = sign.compare;
      value = value.mid(static_cast<qsizetype>(std::strlen(sign.text)));
      break;
    }
  }
  if (value.size() != 1 || value[0] < u'0' || value[0] > u'5') return false;
  term.count = value[0].unicode() - u'0';
  return true;
}

// Fills `term` from "name:value" ("name:=value" when `whole`); the problem
// with the value, if any.
SearchProblem fieldTerm(const Key& key, const QString& value, bool whole, SearchTerm& term) {
  term.column = key.column;
  switch (key.field) {
    case Field::Column:
    case Field::Version:
      if (key.field == Field::Version || whole)
        term.kind = isList(key.column) ? SearchTerm::Kind::Item : SearchTerm::Kind::Whole;
      else
        term.kind = SearchTerm::Kind::Contains;
      term.text = FoldForSearch(value);
      return {};
    case Field::Date:
    case Field::After:
    case Field::Before: {
      const auto period = periodOf(value);
      if (!period) return problemOf(SearchProblem::Kind::bad_date, value);
      term.kind = SearchTerm::Kind::Modified;
      if (key.field != Field::Before) term.from_ns = period->first;
      if (key.field != Field::After) term.to_ns = period->second;
      return {};
    }
    case Field::Count:
      if (!allDigits(value) || value.size() > 3)
        return problemOf(SearchProblem::Kind::bad_count, value);
      term.kind = SearchTerm::Kind::Players;
      term.count = value.toInt();
      return {};
    case Field::Tag:
      term.kind = SearchTerm::Kind::Item;
      term.text = FoldForSearch(value);
      return {};
    case Field::Rating:
      if (!ratingOf(value, term)) return problemOf(SearchProblem::Kind::bad_rating, value);
      term.kind = SearchTerm::Kind::Rating;
      return {};
    case Field::Is: {
      const QString flag = FoldForSearch(value);
      if (flag != QLatin1String("favourite") && flag != QLatin1String("favorite") &&
          flag != QLatin1String("watched"))
        return problemOf(SearchProblem::Kind::bad_flag, value);
      term.kind = SearchTerm::Kind::Flag;
      term.count = flag == QLatin1String("watched") ? 1 : 0;
      return {};
    }
  }
  return {};
}

bool compares(SearchTerm::Compare compare, int value, int with) {
  switch (compare) {
    case SearchTerm::Compare::equal:
      return value == with;
    case SearchTerm::Compare::less:
      return value < with;
    case SearchTerm::Compare::less_equal:
      return value <= with;
    case SearchTerm::Compare::greater:
      return value > with;
    case SearchTerm::Compare::greater_equal:
      return value >= with;
  }
  return false;
}

// Where `pattern` first stands in `text` at or after `from`, or -1. Cells are
// short: a search for the first byte by memchr, then a compare, beats a
// skip table.
qsizetype find(QByteArrayView text, QByteArrayView pattern, qsizetype from = 0) {
  const std::string_view within(text.data(), static_cast<std::size_t>(text.size()));
  const std::size_t at =
      within.find(std::string_view(pattern.data(), static_cast<std::size_t>(pattern.size())),
                  static_cast<std::size_t>(from));
  return at == std::string_view::npos ? -1 : static_cast<qsizetype>(at);
}

// Whether `pattern` is one whole item of the list in `cell` (", " between).
bool holdsItem(QByteArrayView cell, QByteArrayView pattern) {
  for (qsizetype at = find(cell, pattern); at >= 0; at = find(cell, pattern, at + 1)) {
    const qsizetype end = at + pattern.size();
    if ((at == 0 || cell.sliced(0, at).endsWith(", ")) &&
        (end == cell.size() || cell.sliced(end).startsWith(", ")))
      return true;
  }
  return false;
}

bool holds(const SearchTerm& term, QByteArrayView pattern, const SearchRow& row) {
  switch (term.kind) {
    case SearchTerm::Kind::Contains:
      if (term.column >= 0)
        return static_cast<std::size_t>(term.column) < row.columns() &&
               find(row.column(static_cast<std::size_t>(term.column)), pattern) >= 0;
      return find(row.folded_all, pattern) >= 0;
    case SearchTerm::Kind::Whole:
      return static_cast<std::size_t>(term.column) < row.columns() &&
             row.column(static_cast<std::size_t>(term.column)) == pattern;
    case SearchTerm::Kind::Item: {
      if (static_cast<std::size_t>(term.column) >= row.columns()) return false;
      return holdsItem(row.column(static_cast<std::size_t>(term.column)), pattern);
    }
    case SearchTerm::Kind::Modified:
      return term.from_ns <= row.mtime_ns && row.mtime_ns < term.to_ns;
    case SearchTerm::Kind::Players:
      return row.player_count == term.count;
    case SearchTerm::Kind::Rating:
      return compares(term.compare, row.rating, term.count);
    case SearchTerm::Kind::Flag:
      return term.count == 0 ? row.favourite : row.watched;
  }
  return false;
}

bool holdsAny(const SearchTerm& term, QByteArrayView pattern, const std::vector<QByteArray>& also,
              const SearchRow& row) {
  if (holds(term, pattern, row)) return true;
  if (also.empty() || static_cast<std::size_t>(term.column) >= row.columns()) return false;
  const QByteArrayView cell = row.column(static_cast<std::size_t>(term.column));
  for (const QByteArray& name : also)
    if (holdsItem(cell, name)) return true;
  return false;
}

}  // namespace

SearchQuery CompileSearch(const QString& text, const PersonNames& persons) {
  SearchQuery query;
  int group = 0;
  for (Word& word : splitWords(text)) {
    if (word.is_or) {
      if (!query.terms.empty() && query.terms.back().group == group) ++group;
      continue;
    }
    SearchTerm term;
    term.negated = word.negated;
    term.group = group;
    const QStringView name = QStringView(word.text).left(word.colon);
    if (word.colon > 0 && looksLikeField(name)) {
      const Key* key = keyNamed(name);
      const QString value = word.text.mid(word.colon + 1);
      // "map:" alone asks for nothing yet.
      if (key != nullptr && FoldForSearch(value).isEmpty()) continue;
      const SearchProblem problem = key == nullptr
                                        ? problemOf(SearchProblem::Kind::unknown_field, name)
                                        : fieldTerm(*key, value, word.whole, term);
      if (!problem.isNone()) {
        if (query.problem.isNone()) query.problem = problem;
        continue;
      }
    } else {
      // A word looked for in any column never spans two (a pasted line break).
      term.text = FoldForSearch(word.text).replace(u'\n', u' ');
      if (term.text.isEmpty()) continue;
    }
    if (term.column == ReplayColumns::PlayersColumn && term.kind != SearchTerm::Kind::Players) {
      const auto person = persons.constFind(term.text);
      if (person != persons.constEnd()) term.also = *person;
    }
    query.patterns.push_back(term.text.toUtf8());
    std::vector<QByteArray>& also = query.also.emplace_back();
    for (const QString& name : term.also) also.push_back(name.toUtf8());
    query.terms.push_back(std::move(term));
  }
  return query;
}

QStringList SearchFieldNames() {
  QStringList names;
  for (const Key& key : kKeys) names << QLatin1String(key.name);
  return names;
}

QString PlayerSearch(const QString& name) {
  QString quoted = name;
  quoted.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
  return QStringLiteral("player:=\"%1\"").arg(quoted);
}

bool SearchQuery::matches(const SearchRow& row) const {
  if (!problem.isNone()) return false;
  if (terms.empty()) return true;
  int group = terms.front().group;
  bool group_holds = true;
  for (std::size_t i = 0; i < terms.size(); ++i) {
    const SearchTerm& term = terms[i];
    if (term.group != group) {
      if (group_holds) return true;
      group = term.group;
      group_holds = true;
    }
    if (group_holds && holdsAny(term, patterns[i], also[i], row) == term.negated)
      group_holds = false;
  }
  return group_holds;
}

}  // namespace myzor
