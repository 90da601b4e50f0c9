// myzor-stats: who played whom, where and with what over replay files, as
// tables for people or, with --json, as one object for scripts.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSet>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "library/core/folder_scan.h"
#include "library/core/replay_row.h"
#include "library/export/replay_json.h"
#include "library/search/folded_row.h"
#include "library/search/query.h"
#include "library/stats/replay_stats.h"
#include "library/userdata/user_store.h"
#include "replay/metadata.h"
#include "tools/expand_arguments.h"
#include "tools/raw_arguments.h"
#include "tools/read_in_order.h"

namespace {

using myzor::Json;
using myzor::NameCount;

// At most this many teammates and opponents per player in the JSON.
constexpr std::size_t kClosest = myzor::PlayerStats::kMostListed;

std::string text(const QString& s) { return s.toStdString(); }

QString problemText(const myzor::SearchProblem& problem) {
  using Kind = myzor::SearchProblem::Kind;
  switch (problem.kind) {
    case Kind::none:
      return {};
    case Kind::unknown_field:
      return QStringLiteral("unknown field %1: %2")
          .arg(problem.value, myzor::SearchFieldNames().join(QStringLiteral(", ")));
    case Kind::bad_date:
      return QStringLiteral(
                 "malformed date %1: write a year, a month or a day, as in 2024, 2024-05 or "
                 "2024-05-17")
          .arg(problem.value);
    case Kind::bad_count:
      return QStringLiteral("malformed count %1: write the number of players, as in count:4")
          .arg(problem.value);
    case Kind::bad_rating:
      return QStringLiteral("malformed rating %1: write 0 to 5, as in rating:4 or rating:>=4")
          .arg(problem.value);
    case Kind::bad_flag:
      return QStringLiteral("unknown mark is:%1: write is:favourite or is:watched")
          .arg(problem.value);
  }
  return {};
}

Json counts(const std::vector<NameCount>& list, std::size_t limit = SIZE_MAX,
            const char* key = "name") {
  Json out = Json::array();
  for (std::size_t i = 0; i < list.size() && i < limit; ++i) {
    Json& o = out.emplace_back(Json::object());
    o[key] = text(list[i].name);
    o["games"] = list[i].games;
  }
  return out;
}

Json statsJson(const myzor::ReplayStats& stats) {
  Json players = Json::array();
  for (const myzor::PlayerStats& p : stats.players) {
    Json& o = players.emplace_back(Json::object());
    o["name"] = text(p.name);
    o["games"] = p.games;
    o["first"] = text(p.first);
    o["last"] = text(p.last);
    Json races = Json::object();
    for (const NameCount& race : p.races) races[text(race.name)] = race.games;
    o["races"] = std::move(races);
    o["teammates"] = counts(p.teammates, kClosest);
    o["opponents"] = counts(p.opponents, kClosest);
  }
  Json matchups = Json::array();
  for (const myzor::Matchup& m : stats.matchups) {
    Json& o = matchups.emplace_back(Json::object());
    o["races"] = Json::array({text(m.race_a), text(m.race_b)});
    o["games"] = m.games;
  }
  Json o = Json::object();
  o["games"] = stats.games;
  o["failed"] = stats.failed;
  o["players"] = std::move(players);
  o["maps"] = counts(stats.maps);
  o["races"] = counts(stats.races);
  o["formats"] = counts(stats.formats);
  o["months"] = counts(stats.months, SIZE_MAX, "month");
  o["matchups"] = std::move(matchups);
  return o;
}

QString share(std::int64_t part, std::int64_t whole) {
  return whole > 0 ? QStringLiteral("%1%").arg(
                         100.0 * static_cast<double>(part) / static_cast<double>(whole), 0, 'f', 1)
                   : QString();
}

QString joined(const std::vector<NameCount>& list, std::size_t limit) {
  QStringList parts;
  for (std::size_t i = 0; i < list.size() && i < limit; ++i)
    parts.append(QStringLiteral("%1 %2").arg(list[i].name).arg(list[i].games));
  return parts.join(QStringLiteral(", "));
}

// Columns padded to their widest cell; counts right-aligned, texts left.
void appendTable(QString& out, const QString& title, const QStringList& header,
                 const std::vector<QStringList>& rows) {
  out += QStringLiteral("\n%1\n").arg(title);
  if (rows.empty()) {
    out += QStringLiteral("  (none)\n");
    return;
  }
  std::vector<qsizetype> widths(static_cast<std::size_t>(header.size()));
  const auto widen = [&widths](const QStringList& cells) {
    for (qsizetype c = 0; c < cells.size(); ++c)
      widths[static_cast<std::size_t>(c)] =
          std::max(widths[static_cast<std::size_t>(c)], cells[c].size());
  };
  widen(header);
  for (const QStringList& row : rows) widen(row);
  const auto line = [&](const QStringList& cells) {
    QString l = QStringLiteral(" ");
    for (qsizetype c = 0; c < cells.size(); ++c) {
      const int width = static_cast<int>(widths[static_cast<std::size_t>(c)]);
      const bool count = header[c] == QLatin1String("games");
      l += QLatin1Char(' ') + (count ? cells[c].rightJustified(width)
                                     : cells[c].leftJustified(c + 1 == cells.size() ? 0 : width));
    }
    out += l + QLatin1Char('\n');
  };
  line(header);
  for (const QStringList& row : rows) line(row);
}

QString statsText(const myzor::ReplayStats& stats) {
  QString out = QStringLiteral("games: %1\nfailed: %2\n").arg(stats.games).arg(stats.failed);
  std::vector<QStringList> rows;
  for (const myzor::PlayerStats& p : stats.players)
    rows.push_back({p.name, QString::number(p.games), p.first, p.last, joined(p.races, SIZE_MAX),
                    joined(p.teammates, kClosest), joined(p.opponents, kClosest)});
  appendTable(out, QStringLiteral("players"),
              {"name", "games", "first", "last", "races", "teammates", "opponents"}, rows);
  const auto countTable = [&](const QString& title, const std::vector<NameCount>& list,
                              std::int64_t whole) {
    std::vector<QStringList> table;
    for (const NameCount& c : list)
      table.push_back({c.name, QString::number(c.games), share(c.games, whole)});
    appendTable(out, title, {"name", "games", "share"}, table);
  };
  std::int64_t seats = 0;
  for (const NameCount& race : stats.races) seats += race.games;
  countTable(QStringLiteral("maps"), stats.maps, stats.games);
  countTable(QStringLiteral("races"), stats.races, seats);
  countTable(QStringLiteral("formats"), stats.formats, stats.games);
  countTable(QStringLiteral("months"), stats.months, stats.games);
  rows.clear();
  for (const myzor::Matchup& m : stats.matchups)
    rows.push_back({QStringLiteral("%1 vs %2").arg(m.race_a, m.race_b), QString::number(m.games)});
  appendTable(out, QStringLiteral("1v1 matchups"), {"races", "games"}, rows);
  return out;
}

// As the window keeps a path: absolute, without "." and "..".
QByteArray absolutePath(const QByteArray& given) {
  std::error_code ec;
  std::string clean =
      std::filesystem::absolute(given.toStdString(), ec).lexically_normal().string();
  while (clean.size() > 1 && clean.ends_with('/')) clean.pop_back();
  return QByteArray::fromStdString(clean);
}

struct Read {
  myzor::ReplayRow row;
  std::string error;
};

Read readOne(const myzor_info::Input& input) {
  Read read;
  myzor::FileEntry file;
  file.path = QByteArray::fromStdString(input.argument);
  try {
    if (input.early_error) throw *input.early_error;
    // The reader names a missing or unreadable file itself.
    const zor_rep_reader::ReplayMetadata metadata =
        zor_rep_reader::ReadReplayMetadata(input.argument, [](const std::string&) {});
    (void)myzor::StatFile(file.path, file);
    read.row = myzor::MakeRow(file, myzor::DisplayName(file.path), metadata.replay);
  } catch (const zor_rep_reader::ReaderError& error) {
    read.row = myzor::MakeErrorRow(file, myzor::DisplayName(file.path), error);
    read.error = error.message();
  }
  return read;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("myzor-stats"));
  QCoreApplication::setApplicationVersion(QStringLiteral(MYZOR_VERSION));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Counts the games, players, teammates and opponents, maps, races, formats,\n"
      "months and 1v1 matchups of replay files (*.rec). A file that cannot be read\n"
      "is counted as failed.\n"
      "Exit status: 0 when every file was read, 1 when any failed, 2 for a usage error."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption json(
      QStringLiteral("json"),
      QStringLiteral("Print one JSON object, lists by games (most first), then by name. "
                     "Text that is not valid UTF-8 is written as U+FFFD."));
  const QCommandLineOption recursive(
      {QStringLiteral("r"), QStringLiteral("recursive")},
      QStringLiteral("Read every *.rec file under a folder argument."));
  const QCommandLineOption search(
      QStringLiteral("search"),
      QStringLiteral("Count only the files the window's search <query> lists, for example "
                     "'player:=\"Ann\" map:Ridge'."),
      QStringLiteral("query"));
  const QCommandLineOption names(
      QStringLiteral("names"),
      QStringLiteral("Count each player name on its own; by default the names that are one "
                     "person (merged in the window's Players view) count as that person."));
  parser.addOptions({json, recursive, search, names});
  parser.addPositionalArgument(QStringLiteral("PATH"), QStringLiteral("Replay files or folders."),
                               QStringLiteral("PATH..."));

  const RawArguments arguments(argc, argv);
  const auto usage = [](const QString& what) {
    std::fprintf(stderr, "myzor-stats: %s\nTry 'myzor-stats --help'.\n", qPrintable(what));
    return 2;
  };
  if (!parser.parse(arguments.list)) return usage(parser.errorText());
  if (parser.isSet(QStringLiteral("help"))) parser.showHelp(0);
  if (parser.isSet(QStringLiteral("version"))) parser.showVersion();
  if (parser.positionalArguments().isEmpty())
    return usage(QStringLiteral("no replay file or folder given"));
  // What the user knows of the replays and players, when they have kept any.
  std::optional<myzor::UserStore> store;
  if (QFile::exists(myzor::Journal::defaultFile())) store.emplace();
  myzor::PersonOf persons;
  QHash<QByteArray, std::shared_ptr<const myzor::ReplayNotes>> notes;
  if (store && store->isOpen()) {
    if (!parser.isSet(names)) persons = myzor::PersonsOf(store->players());
    for (myzor::StoredReplay& replay : store->replays())
      notes.insert(replay.path,
                   std::make_shared<const myzor::ReplayNotes>(std::move(replay.notes)));
  }
  const QString query_text = parser.value(search);
  const myzor::SearchQuery query = myzor::CompileSearch(query_text, myzor::SearchNamesOf(persons));
  if (!query.problem.isNone())
    return usage(QStringLiteral("--search \"%1\": %2").arg(query_text, problemText(query.problem)));

  const std::vector<myzor_info::Input> inputs = myzor_info::ExpandArguments(
      myzor_info::RawPositionals(arguments, parser.positionalArguments()), parser.isSet(recursive));
  // Only what the counts read is kept of each row the search lists.
  std::vector<myzor::StatsRow> counted;
  counted.reserve(inputs.size());
  bool all_ok = true;
  // The metadata read mostly waits for the disk, so several files are read at once.
  myzor_info::ReadInOrder<Read>(
      inputs.size(), myzor_info::kReaders, [&](std::size_t i) { return readOne(inputs[i]); },
      [&](const Read& read) {
        if (!read.error.empty()) {
          std::fprintf(stderr, "myzor-stats: %s\n", read.error.c_str());
          all_ok = false;
        }
        if (notes.isEmpty()) {
          if (myzor::Matches(query, read.row))
            counted.push_back(myzor::StatsRowOf(read.row, persons));
          return;
        }
        myzor::ReplayRow row = read.row;
        row.notes = notes.value(absolutePath(row.file.path));
        if (myzor::Matches(query, row)) counted.push_back(myzor::StatsRowOf(row, persons));
      });

  const myzor::ReplayStats stats = myzor::ComputeStats(counted);
  if (!persons.isEmpty()) {
    QSet<QString> people;
    for (const QString& person : std::as_const(persons)) people.insert(person);
    std::fprintf(stderr,
                 "myzor-stats: %lld names are counted as the %lld persons they are; --names "
                 "counts each name\n",
                 static_cast<long long>(persons.size()), static_cast<long long>(people.size()));
  }
  const std::string out =
      parser.isSet(json) ? myzor::JsonLine(statsJson(stats)) : text(statsText(stats));
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  return all_ok ? 0 : 1;
}
