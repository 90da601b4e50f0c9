// The library's search: the text typed, compiled once into terms, and the
// test of one row against them. The window and the command-line tools use
// the same compiled search.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace myzor {

// One condition of the search. Terms of one group must all hold (words are
// AND-ed); the row is shown when any group holds ("a b OR c").
struct SearchTerm {
  enum class Kind {
    Contains,  // `text` is part of the column (or of any column)
    Whole,     // `text` is the column's whole value
    Item,      // `text` is one whole item of the column's list ("A, B")
    Modified,  // the file's modification time is in [from_ns, to_ns)
    Players,   // the replay has `count` players
    Rating,    // the rating compares with `count` as `compare` says
    Flag,      // the replay is marked favourite (`count` 0) or watched (1)
  };
  enum class Compare { equal, less, less_equal, greater, greater_equal };
  int column = -1;  // LibraryModel's column; -1: any column
  QString text;     // folded
  Kind kind = Kind::Contains;
  bool negated = false;  // "-word": the row must not hold it
  int group = 0;
  std::int64_t from_ns = std::numeric_limits<std::int64_t>::min();
  std::int64_t to_ns = std::numeric_limits<std::int64_t>::max();
  int count = 0;
  Compare compare = Compare::equal;
  // Other names of the person `text` names (folded), any of which holds as
  // a whole player.
  QStringList also;
  friend bool operator==(const SearchTerm&, const SearchTerm&) = default;
};

// What the search looks at in one row; the texts folded once, when the row
// was made.
struct SearchRow {
  QByteArrayView folded_all;  // every column's text in UTF-8, '\n' between
  // Where each column's text ends in `folded_all` (in bytes), by
  // LibraryModel's column.
  std::span<const std::uint32_t> ends;
  std::int64_t mtime_ns = 0;
  int player_count = 0;
  int rating = 0;
  bool favourite = false;
  bool watched = false;

  [[nodiscard]] std::size_t columns() const { return ends.size(); }
  [[nodiscard]] QByteArrayView column(std::size_t at) const {
    const std::uint32_t begin = at == 0 ? 0 : ends[at - 1] + 1;
    return folded_all.sliced(begin, ends[at] - begin);
  }
};

// What is wrong with a search, for the user; the window makes the words.
struct SearchProblem {
  enum class Kind {
    none,
    unknown_field,  // `value` is the field's name
    bad_date,       // `value` is the date as written
    bad_count,      // `value` is the count as written
    bad_rating,     // `value` is the rating as written
    bad_flag,       // `value` is what follows is: (favourite and watched are known)
  };
  Kind kind = Kind::none;
  QString value;
  [[nodiscard]] bool isNone() const { return kind == Kind::none; }
  friend bool operator==(const SearchProblem&, const SearchProblem&) = default;
};

// The fields a search knows, in the order a hint lists them.
[[nodiscard]] QStringList SearchFieldNames();

// Names that belong to one person: each name (folded for search) to the
// folded names of all who are that person, itself among them.
using PersonNames = QHash<QString, QStringList>;

struct SearchQuery {
  std::vector<SearchTerm> terms;  // in group order
  // One per term, of its text in UTF-8: a folded word is looked for in the
  // rows' bytes.
  std::vector<QByteArray> patterns;
  // One per term, of its `also` in UTF-8.
  std::vector<std::vector<QByteArray>> also;
  // None for a valid search; a search with a problem holds for no row.
  SearchProblem problem;

  [[nodiscard]] bool matches(const SearchRow& row) const;
};

// Words run to the next blank outside quotes, the quotes dropped
// (map:"Ashfall Ridge"); within quotes \" is a quote and \\ a backslash.
// "-" before a word negates it, "OR" between words ORs what stands on either
// side. "field:value" looks in one column (player, map, game, race, team,
// status: part of the value; version: the whole value), "field:=value" for
// the whole value (of one player or race: player:="Kai" is not Kaiser), or
// tests the file's local date (date:2024, date:2024-05, date:2024-05-17;
// after: and before: include the day, month or year named) or the number of
// players (count:4). tag: is one whole tag, note: part of the note,
// rating:4 or rating:>=4 (>, <, <= alike), is:favourite and is:watched.
// With `persons`, player: naming one name of a person finds the games of
// all the person's names.
[[nodiscard]] SearchQuery CompileSearch(const QString& text, const PersonNames& persons = {});

// The search that lists the games of the player named `name`, and no one
// else's: player:="NAME", quoted as the search reads it.
[[nodiscard]] QString PlayerSearch(const QString& name);

}  // namespace myzor
