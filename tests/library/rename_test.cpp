// Renaming, copying and moving replay files: names stay safe, nothing is
// ever overwritten or left half-written, and a batch can be put back.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <tuple>

#include "library/core/folder_scan.h"
#include "library/export/export_rows.h"
#include "library/export/replay_json.h"
#include "library/files/file_operations.h"
#include "library/files/rename_pattern.h"
#include "tests/support/file_results.h"

namespace {

using namespace myzor;

// By the names' own bytes: some are not UTF-8.
QByteArray readAll(const QByteArray& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  if (!in) return "<missing>";
  return QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(in), {}));
}

QByteArray write(const QString& folder, const QByteArray& name, const QByteArray& contents) {
  const QByteArray path = QFile::encodeName(folder) + '/' + name;
  std::ofstream out(path.toStdString(), std::ios::binary);
  EXPECT_TRUE(out.write(contents.constData(), contents.size())) << path.constData();
  return path;
}

ReplayRow rowFor(const QByteArray& path, const QString& map) {
  ReplayRow row;
  EXPECT_TRUE(StatFile(path, row.file)) << path.constData();
  row.map = map;
  return row;
}

RenamePattern pattern(const char* text) { return *RenamePattern::parse(QString::fromUtf8(text)); }

TEST(RenamePattern, FillsEveryFieldAndRefusesBadPatterns) {
  ReplayRow row;
  row.file.path = "/r/replay_2041.REC";
  row.file.mtime_ns = QDateTime(QDate(2026, 12, 6), QTime(21, 5)).toMSecsSinceEpoch() * 1'000'000;
  std::tie(row.game, row.map, row.version) = std::tuple("Cup", "Ashfall Ridge", "1.3");
  row.roster = {{"A", "x", 1}, {"B", "y", 2}, {"C", "x", 1}};
  row.player_count = 3;
  EXPECT_EQ(
      pattern(
          "{date} {time} {game} {map} {players} {teams} {races} {version} {count} {n:3} {n} {file}")
          .expand(row, 7),
      QStringLiteral(
          "2026-12-06 21-05 Cup Ashfall Ridge A, B, C A & C vs B x, y, x 1.3 3 007 7 replay_2041"));
  row.ok = false;  // unreadable: named only by what it does not need
  EXPECT_EQ(PlanRename({row}, pattern("{map}")).files[0].state, RenameState::error);
  EXPECT_EQ(PlanRename({row}, pattern("{file} {n}")).files[0].new_name, "replay_2041 1.rec");

  using Problem = PatternError::Problem;
  const std::tuple<const char*, qsizetype, Problem> refused[] = {
      {"{map", 0, Problem::open_without_close}, {"{date} map}", 10, Problem::close_without_open},
      {"x {nope}", 2, Problem::unknown_field},  {"{map:3}", 0, Problem::width_not_allowed},
      {"{n:0}", 0, Problem::bad_width},         {"{n:{map}}", 0, Problem::open_without_close},
      {"{}", 0, Problem::unknown_field},        {" ", 0, Problem::empty}};
  for (const auto& [text, position, problem] : refused) {
    PatternError error;
    EXPECT_FALSE(RenamePattern::parse(QString::fromUtf8(text), &error)) << text;
    EXPECT_EQ(error.position, position) << text;
    EXPECT_EQ(error.problem, problem) << text;
  }
}

class HostileName : public testing::TestWithParam<std::pair<QString, QByteArray>> {};

// Two files get the name, so the second is numbered: both names must fit.
TEST_P(HostileName, GivesSafeNamesInsideTheFolder) {
  QTemporaryDir dir;
  QDir(dir.path()).mkpath(QStringLiteral("a"));
  const QString folder = dir.path() + QStringLiteral("/a");
  const RenamePlan plan = PlanRename({rowFor(write(folder, "x.rec", "x"), GetParam().first),
                                      rowFor(write(folder, "y.rec", "y"), GetParam().first)},
                                     pattern("{map}"));
  QStringList names;
  for (const PlannedRename& file : plan.files) {
    const QByteArray& name = file.new_name;
    EXPECT_TRUE(name.endsWith(".rec") && name.size() <= 255 && !name.contains('/') &&
                !name.contains('\0'))
        << name.size();
    EXPECT_EQ(QString::fromUtf8(name).toUtf8(), name) << "not valid UTF-8";
    names.append(QString::fromUtf8(name));
  }
  EXPECT_EQ(plan.files.at(0).new_name, GetParam().second);
  EXPECT_TRUE(plan.files.at(1).new_name.endsWith(" (2).rec"));
  const RenameOutcome outcome = ExecuteRename(plan);
  ASSERT_TRUE(outcome.results.at(0).ok && outcome.results.at(1).ok)
      << Tally(outcome.results).toStdString();
  QStringList listed = QDir(folder).entryList(QDir::Files);
  listed.sort();
  names.sort();
  EXPECT_EQ(listed, names);
}

INSTANTIATE_TEST_SUITE_P(
    Names, HostileName,
    testing::Values(
        std::pair{QStringLiteral("../../x"), QByteArray("_._.._x.rec")},
        std::pair{QStringLiteral(".."), QByteArray("_.rec")},
        std::pair{QStringLiteral(" . . "), QByteArray("_.rec")},
        std::pair{QString(3, QChar(0)), QByteArray("___.rec")},
        std::pair{QStringLiteral("a\\b:c*d?e\"f<g>h|i\x01\x1f\x7f\u0085"),
                  QByteArray("a_b_c_d_e_f_g_h_i____.rec")},
        std::pair{QStringLiteral("map.REC"), QByteArray("map.rec")},
        std::pair{QStringLiteral("con.x"), QByteArray("con_.x.rec")},
        // Cut to 255 bytes at the last whole character.
        std::pair{QString(300, QLatin1Char('x')), QByteArray(251, 'x') + ".rec"},
        std::pair{QString(300, QChar(0xE9)), QString(125, QChar(0xE9)).toUtf8() + ".rec"},
        std::pair{QString::fromUtf8("\xE2\x82\xAC").repeated(90),
                  QByteArray("\xE2\x82\xAC").repeated(83) + ".rec"},
        std::pair{QString::fromUtf8("\xF0\x9F\x98\x80").repeated(80),
                  QByteArray("\xF0\x9F\x98\x80").repeated(62) + ".rec"},
        std::pair{QString(1, QChar(0xD800)) + QString(260, QLatin1Char('.')), QByteArray("_.rec")}),
    [](const auto& info) { return std::to_string(info.index); });

TEST(RenameBatch, ThousandClashingNamesKeepEveryFileAndUndoPutsThemBack) {
  QTemporaryDir dir;
  const QByteArray existing = write(dir.path(), "Clash (3).rec", "not in the batch");
  std::vector<ReplayRow> rows;
  std::map<QByteArray, QByteArray> contents;
  for (int i = 0; i < 1000; ++i) {
    const QByteArray path = write(dir.path(), "replay_" + QByteArray::number(i) + ".rec",
                                  "replay " + QByteArray::number(i));
    rows.push_back(rowFor(path, QStringLiteral("Clash")));
    contents[path] = readAll(path);
  }
  const RenamePlan plan = PlanRename(rows, pattern("{map}"));
  EXPECT_EQ(plan.files[1].state, RenameState::clash);
  EXPECT_EQ(plan.files[2].new_name,
            "Clash (4).rec");  // the preview passes over a name taken on disk
  const QByteArray late = write(dir.path(), "Clash.rec", "arrived after the plan");
  const RenameOutcome outcome = ExecuteRename(plan);
  EXPECT_EQ(Tally(outcome.results), QStringLiteral("1000 done"));
  std::set<QByteArray> names;
  for (const FileResult& result : outcome.results) {
    EXPECT_EQ(readAll(result.new_path), contents[result.path]);
    names.insert(result.new_path);
  }
  EXPECT_EQ(names.size(), 1000u);
  EXPECT_EQ(readAll(existing) + readAll(late), "not in the batcharrived after the plan");

  // One file moved on since and a newcomer took another's old name: those two stay, the others go
  // back.
  const QByteArray moved_on = outcome.results[5].new_path;
  ASSERT_EQ(RenameNoReplace(moved_on, moved_on + ".kept"), 0);
  const QByteArray newcomer = write(dir.path(), "replay_0.rec", "newcomer");
  const QString undone = Tally(UndoRename(outcome.undo));
  EXPECT_TRUE(undone.startsWith(QStringLiteral("998 done, 2 failed: Clash (8).rec: ")) &&
              undone.contains(QStringLiteral("old name replay_0.rec is taken")))
      << undone.toStdString();
  for (const auto& [path, bytes] : contents)
    if (path != outcome.results[5].path) {
      EXPECT_EQ(readAll(path), path == newcomer ? "newcomer" : bytes);
    }
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1003);
}

struct Interruption {
  const char* name;
  bool move;
  const char* tmpfs_size;  // the target is a tmpfs of this size, or a folder beside the source
  bool cancel_halfway;
  bool expect_ok;
};

void PrintTo(const Interruption& c, std::ostream* out) { *out << c.name; }

class CopyInterrupted : public testing::TestWithParam<Interruption> {};

TEST_P(CopyInterrupted, LeavesTheSourceAndNoPartialTarget) {
  const Interruption& c = GetParam();
  QTemporaryDir dir;
  QDir(dir.path()).mkpath(QStringLiteral("target"));
  const QByteArray target = QFile::encodeName(dir.path()) + "/target";
  const bool mounted = c.tmpfs_size != nullptr &&
                       ::mount("tmpfs", target.constData(), "tmpfs", 0, c.tmpfs_size) == 0;
  const std::unique_ptr<const char, int (*)(const char*)> unmount(
      mounted ? target.constData() : nullptr, ::umount);
  if (c.tmpfs_size != nullptr && !mounted) GTEST_SKIP() << "cannot mount a tmpfs here";
  const QByteArray bytes(1 << 20, 'r');
  const QByteArray source = write(dir.path(), "big.rec", bytes);
  FileEntry before;
  ASSERT_TRUE(StatFile(source, before));
  const CopyProgress cancel = [&](std::int64_t done, std::int64_t total) {
    return !c.cancel_halfway || done < total / 2;
  };
  const std::vector<FileResult> results =
      c.move ? MoveToFolder({source}, target, cancel) : CopyToFolder({source}, target, cancel);
  EXPECT_EQ(results.at(0).ok, c.expect_ok) << results[0].error.toStdString();
  const QStringList left = QDir(QFile::decodeName(target)).entryList(QDir::Files | QDir::Hidden);
  if (c.expect_ok) {
    FileEntry copy;
    ASSERT_TRUE(StatFile(results[0].new_path, copy));
    EXPECT_EQ(copy.mtime_ns, before.mtime_ns);
    EXPECT_EQ(readAll(results[0].new_path), bytes);
    EXPECT_EQ(left, QStringList{QStringLiteral("big.rec")});
    EXPECT_EQ(QFile::exists(QFile::decodeName(source)), !c.move);
  } else {
    EXPECT_EQ(readAll(source), bytes);
    EXPECT_TRUE(left.isEmpty()) << left.join(QLatin1Char(' ')).toStdString();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CopyInterrupted,
    testing::Values(Interruption{"CopyCancelled", false, nullptr, true, false},
                    Interruption{"CopyToFullDisk", false, "size=512k", false, false},
                    Interruption{"MoveToFullDisk", true, "size=512k", false, false},
                    Interruption{"MoveAcrossCancelled", true, "size=4m", true, false},
                    Interruption{"MoveAcross", true, "size=4m", false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileOperations, CopiesAndExportsNeverOverwriteAndTrashRefusesNamesItCannotHold) {
  QTemporaryDir dir;
  QDir(dir.path()).mkpath(QStringLiteral("to"));
  const QByteArray source = write(dir.path(), "a.rec", "one");
  const QByteArray upper = write(dir.path(), "GAME.REC", "up");
  const QByteArray odd = write(dir.path(), "odd\xff.rec", "two");
  const QByteArray to = QFile::encodeName(dir.path()) + "/to";
  const auto copies = CopyToFolder({source, source, odd, upper, upper}, to);
  EXPECT_EQ(copies[1].new_path, to + "/a (2).rec");
  EXPECT_EQ(copies[4].new_path,
            to + "/GAME (2).REC");  // the extension kept, so the library still lists it
  EXPECT_EQ(readAll(copies[0].new_path) + readAll(copies[1].new_path) + readAll(copies[2].new_path),
            "oneonetwo");
  EXPECT_EQ(copies[2].new_path, to + "/odd\xff.rec");
  EXPECT_TRUE(WriteExport(QFile::decodeName(upper), "csv").contains("over a replay"));
  EXPECT_EQ(readAll(upper), "up");

  qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path()) + "/data");
  const auto trashed = MoveToTrash({odd, source});
  EXPECT_FALSE(trashed[0].ok);
  EXPECT_EQ(readAll(odd), "two");
  EXPECT_TRUE(trashed[1].ok) << trashed[1].error.toStdString();
  EXPECT_TRUE(QFile::exists(
      dir.path() + QStringLiteral("/data/Trash/files/a.rec")));  // even with no data folder yet
  ::unlink(odd.constData());  // QTemporaryDir removes files by their names as text
  ::unlink(copies[2].new_path.constData());
}

TEST(Export, CsvQuotesCellsAndDisarmsFormulas) {
  ReplayRow row;
  row.relative_path = QStringLiteral("sub/a.rec");
  row.map = QStringLiteral("Say \"hi\", all");
  row.roster = {{QStringLiteral("=HYPERLINK(1)"), {}}, {QStringLiteral("B"), {}}};
  const QList<QByteArray> lines = RowsToCsv({row}).split('\n');
  EXPECT_TRUE(lines[1].startsWith("sub/a.rec,"));
  EXPECT_TRUE(lines[1].contains(",\"Say \"\"hi\"\", all\",\"'=HYPERLINK(1), B\","));
}

// A line is written straight, without a JSON tree; it must read back as
// the same values and be the very text the JSON library writes for them,
// for whatever texts and numbers a replay holds.
TEST(Export, JsonLinesAreTheJsonLibrarysOwnText) {
  using zor_rep_reader::ReaderError;
  struct Case {
    const char* what;
    std::string text;
    float flag;
  };
  const Case cases[] = {
      {"plain", "Map 7", 1.0f},
      {"quotes", "say \"hi\"", 0.0f},
      {"backslashes", "C:\\games\\", 3.0f},
      {"control characters", "tab\tnew\nline\x01\x1f\x7f", 0.5f},
      {"UTF-8",
       "\xc5\x81\xc3\xb3"
       "d\xc5\xba",
       -2.0f},
      {"bytes that are not UTF-8", "bad \xff\xfe end \xc3", 1e20f},
      {"CJK, Cyrillic and four bytes", "\xe7\x8e\x8b\xd0\x96 \xf0\x9f\x98\x80", 2.0f},
      {"an overlong slash", "a\xc0\xaf", 1.0f},
      {"a surrogate", "\xed\xa0\x80z", 1.0f},
      {"past U+10FFFF", "\xf4\x90\x80\x80", 1.0f},
      {"a noncharacter", "\xef\xbf\xbe", 1.0f},
      {"empty", "", 0.25f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    zor_rep_reader::ReplayMetadata read;
    read.replay.game_name = c.text;
    read.replay.win_take_and_hold = c.flag;
    read.replay.header_value = -5;
    zor_rep_reader::PlayerInfo player;
    player.name = c.text;
    player.block_end = std::int64_t{1} << 40;
    read.replay.players = {player, player};
    read.pictures = {{{64, 64}, {}}, {}};
    const std::vector<std::string> lines = {
        ReadJsonLine(c.text, read, {c.text, "x"}),
        ReadJsonLine("a.rec", {}, {}),
        ErrorJsonLine(c.text, ReaderError(zor_rep_reader::ErrorKind::file, 12, c.text)),
        ErrorJsonLine("b.rec", ReaderError(zor_rep_reader::ErrorKind::file, std::nullopt, "gone")),
    };
    for (const std::string& line : lines) {
      ASSERT_FALSE(line.empty());
      EXPECT_EQ(line.back(), '\n');
      const Json parsed = Json::parse(line, nullptr, false);
      ASSERT_FALSE(parsed.is_discarded()) << line;
      EXPECT_EQ(JsonLine(parsed), line);
    }
    const Json first = Json::parse(lines[0], nullptr, false);
    // The text as the library reads back its own writing of it (U+FFFD for odd bytes).
    const Json text =
        Json::parse(Json(c.text).dump(-1, ' ', false, Json::error_handler_t::replace));
    EXPECT_EQ(first["file"], text);
    EXPECT_EQ(first["replay"]["game_name"], text);
    EXPECT_EQ(first["replay"]["players"][1]["name"], text);
    EXPECT_EQ(first["replay"]["players"][0]["block_end"], std::int64_t{1} << 40);
    EXPECT_EQ(first["replay"]["players"][0]["badge"]["width"], 64);
    EXPECT_TRUE(first["replay"]["players"][1]["badge"].is_null());
    EXPECT_EQ(first["replay"]["win_take_and_hold"].get<double>(), static_cast<double>(c.flag));
    EXPECT_EQ(first["replay"]["header_value"], -5);
    EXPECT_EQ(first["actions"], Json::array({text, "x"}));
    EXPECT_EQ(Json::parse(lines[2])["error"]["offset"], 12);
  }
}

}  // namespace
