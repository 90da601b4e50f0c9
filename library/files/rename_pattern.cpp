#include "library/files/rename_pattern.h"

#include <QDateTime>
#include <array>
#include <utility>

#include "library/core/paths.h"

namespace myzor {
namespace {

constexpr qsizetype kMaxNameBytes = 255;

// Characters that Windows, macOS or Linux refuse in a name, and control characters.
bool refused(char32_t c) {
  if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;
  switch (c) {
    case '/':
    case '\\':
    case ':':
    case '*':
    case '?':
    case '"':
    case '<':
    case '>':
    case '|':
      return true;
    default:
      return false;
  }
}

bool reservedOnWindows(QStringView base) {
  static const std::array<QLatin1String, 4> plain = {QLatin1String("CON"), QLatin1String("PRN"),
                                                     QLatin1String("AUX"), QLatin1String("NUL")};
  for (const QLatin1String& name : plain)
    if (base.compare(name, Qt::CaseInsensitive) == 0) return true;
  return base.size() == 4 &&
         (base.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) ||
          base.startsWith(QLatin1String("LPT"), Qt::CaseInsensitive)) &&
         base[3] >= QLatin1Char('1') && base[3] <= QLatin1Char('9');
}

void trimTrailingDotsAndSpaces(QString& text) {
  qsizetype end = text.size();
  while (end > 0 && (text[end - 1] == QLatin1Char('.') || text[end - 1] == QLatin1Char(' '))) --end;
  text.truncate(end);
}

QString dateText(const ReplayRow& row, const char* format) {
  const QDateTime time =
      QDateTime::fromMSecsSinceEpoch(row.file.mtime_ns / 1'000'000, Qt::LocalTime);
  return time.toString(QLatin1String(format));
}

}  // namespace

std::optional<RenamePattern> RenamePattern::parse(const QString& text, PatternError* error) {
  static const std::pair<QLatin1String, Field> names[] = {
      {QLatin1String("game"), Field::game},       {QLatin1String("map"), Field::map},
      {QLatin1String("players"), Field::players}, {QLatin1String("teams"), Field::teams},
      {QLatin1String("races"), Field::races},     {QLatin1String("version"), Field::version},
      {QLatin1String("count"), Field::count},     {QLatin1String("date"), Field::date},
      {QLatin1String("time"), Field::time},       {QLatin1String("n"), Field::n},
      {QLatin1String("file"), Field::file}};
  using Problem = PatternError::Problem;
  const auto fail = [error](qsizetype position, Problem problem,
                            QStringView field = {}) -> std::optional<RenamePattern> {
    if (error != nullptr) *error = {position, problem, field.toString()};
    return std::nullopt;
  };

  if (text.trimmed().isEmpty()) return fail(0, Problem::empty);
  RenamePattern pattern;
  QString literal;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('}')) return fail(i, Problem::close_without_open);
    if (text[i] != QLatin1Char('{')) {
      literal.append(text[i]);
      continue;
    }
    qsizetype close = i + 1;
    while (close < text.size() && text[close] != QLatin1Char('}') &&
           text[close] != QLatin1Char('{'))
      ++close;
    if (close == text.size() || text[close] != QLatin1Char('}'))
      return fail(i, Problem::open_without_close);
    const QStringView inside = QStringView(text).mid(i + 1, close - i - 1);
    const qsizetype colon = inside.indexOf(QLatin1Char(':'));
    const QStringView name = colon < 0 ? inside : inside.left(colon);
    Piece piece;
    for (const auto& [known, field] : names)
      if (name == known) piece.field = field;
    if (piece.field == Field::literal) return fail(i, Problem::unknown_field, inside);
    if (colon >= 0) {
      bool ok = false;
      piece.width = inside.mid(colon + 1).toInt(&ok);
      if (piece.field != Field::n) return fail(i, Problem::width_not_allowed, name);
      if (!ok || piece.width < 1 || piece.width > 9) return fail(i, Problem::bad_width, inside);
    }
    if (!literal.isEmpty())
      pattern.m_pieces.push_back({Field::literal, std::exchange(literal, {}), 0});
    switch (piece.field) {
      case Field::date:
      case Field::time:
      case Field::n:
      case Field::file:
        break;
      default:
        pattern.m_needs_content = true;
    }
    pattern.m_pieces.push_back(std::move(piece));
    i = close;
  }
  if (!literal.isEmpty()) pattern.m_pieces.push_back({Field::literal, literal, 0});
  return pattern;
}

QString RenamePattern::expand(const ReplayRow& row, int n) const {
  QString out;
  for (const Piece& piece : m_pieces) {
    switch (piece.field) {
      case Field::literal:
        out += piece.text;
        break;
      case Field::game:
        out += row.game;
        break;
      case Field::map:
        out += row.map;
        break;
      case Field::players:
        out += row.players();
        break;
      case Field::teams:
        out += row.teams();
        break;
      case Field::races:
        out += row.races();
        break;
      case Field::version:
        out += row.version;
        break;
      case Field::count:
        out += QString::number(row.player_count);
        break;
      case Field::date:
        out += dateText(row, "yyyy-MM-dd");
        break;
      case Field::time:
        out += dateText(row, "HH-mm");
        break;
      case Field::n:
        out += QStringLiteral("%1").arg(n, piece.width, 10, QLatin1Char('0'));
        break;
      case Field::file:
        out += FileStem(row.file.path);
        break;
    }
  }
  return out;
}

QByteArray SafeFileName(const QString& stem, const QString& suffix) {
  QStringView source(stem);
  if (HasReplayExtension(source)) source.chop(4);

  QString safe;
  safe.reserve(source.size());
  for (qsizetype i = 0; i < source.size(); ++i) {
    const QChar c = source[i];
    if (c.isHighSurrogate() && i + 1 < source.size() && source[i + 1].isLowSurrogate()) {
      safe.append(c).append(source[++i]);
    } else if (c.isSurrogate() || refused(c.unicode())) {
      safe.append(QLatin1Char('_'));
    } else {
      safe.append(c);
    }
  }
  trimTrailingDotsAndSpaces(safe);
  if (safe.startsWith(QLatin1Char('.'))) safe[0] = QLatin1Char('_');
  const qsizetype dot = safe.indexOf(QLatin1Char('.'));
  if (reservedOnWindows(QStringView(safe).left(dot < 0 ? safe.size() : dot)))
    safe.insert(dot < 0 ? safe.size() : dot, QLatin1Char('_'));

  const QByteArray tail = (suffix + QStringLiteral(".rec")).toUtf8();
  QByteArray bytes = safe.toUtf8();
  qsizetype budget = kMaxNameBytes - tail.size();
  if (bytes.size() > budget) {
    // Step back over UTF-8 continuation bytes so no character is split.
    while (budget > 0 && (static_cast<unsigned char>(bytes[budget]) & 0xC0) == 0x80) --budget;
    bytes.truncate(budget);
    safe = QString::fromUtf8(bytes);
    trimTrailingDotsAndSpaces(safe);
    bytes = safe.toUtf8();
  }
  if (bytes.isEmpty()) bytes = "_";
  return bytes + tail;
}

QString FileStem(const QByteArray& path) {
  QString name = DisplayName(path.mid(path.lastIndexOf('/') + 1));
  if (HasReplayExtension(name)) name.chop(4);
  return name;
}

}  // namespace myzor
