// Names for replay files made from their content: "{date} {map} - {teams}".
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

#include "library/core/replay_row.h"

namespace myzor {

inline constexpr char kDefaultRenamePattern[] = "{date} {map} - {teams}";

// Why a pattern was refused; `position` is the index in the pattern's text
// where the fault lies, for the dialog to point at.
struct PatternError {
  enum class Problem {
    empty,               // nothing but spaces
    close_without_open,  // a '}' with no '{' before it
    open_without_close,  // a '{' with no '}' after it
    unknown_field,       // `field` is what stood in the braces
    width_not_allowed,   // `field` takes no width; only {n} does
    bad_width,           // `field` (as "n:0") has a width that is not 1 to 9
  };
  qsizetype position = 0;
  Problem problem = Problem::empty;
  QString field;
};

class RenamePattern {
 public:
  // The pattern, or nothing with `error` filled: an unknown field, a brace
  // without its partner, a width on a field other than {n}.
  [[nodiscard]] static std::optional<RenamePattern> parse(const QString& text,
                                                          PatternError* error = nullptr);

  // True when some field comes from the replay's content, so a file that
  // cannot be read cannot be named by it.
  [[nodiscard]] bool needsContent() const { return m_needs_content; }

  // The name's text before it is made safe, for the `n`th file of a batch
  // (from 1). `row` must be readable when needsContent().
  [[nodiscard]] QString expand(const ReplayRow& row, int n) const;

 private:
  enum class Field {
    literal,
    game,
    map,
    players,
    teams,
    races,
    version,
    count,
    date,
    time,
    n,
    file
  };
  struct Piece {
    Field field = Field::literal;
    QString text;   // for literal
    int width = 0;  // for {n}: at least this many digits, zero-padded
  };
  std::vector<Piece> m_pieces;
  bool m_needs_content = false;
};

// A file name that every common file system accepts and that names a file
// inside the folder it is made for: the characters those systems refuse and
// control characters become '_', a leading dot becomes '_' (no hidden files),
// trailing dots and spaces go, names Windows reserves (CON, NUL, COM1, ...)
// get a '_', and an empty stem becomes "_". `suffix` (" (2)") and ".rec"
// follow; the stem is cut at a character boundary so that the whole name
// takes at most 255 bytes of UTF-8. A ".rec" the stem already ends with is
// not doubled.
[[nodiscard]] QByteArray SafeFileName(const QString& stem, const QString& suffix = {});

// The file's current name without its ".rec", as text.
[[nodiscard]] QString FileStem(const QByteArray& path);

}  // namespace myzor
