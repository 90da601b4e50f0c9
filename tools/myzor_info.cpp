// myzor-info: prints what the replay reader finds in replay files, for people
// or, with --json, as one JSON object per line for scripts.
#include <QBuffer>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "library/export/replay_json.h"
#include "replay/metadata.h"
#include "tools/expand_arguments.h"
#include "tools/raw_arguments.h"
#include "tools/read_in_order.h"

namespace {

using namespace zor_rep_reader;
using myzor_info::Input;
namespace fs = std::filesystem;

std::string winConditions(const ReplayInfo& r) {
  std::string out;
  const std::pair<float, const char*> flags[] = {{r.win_annihilate, "annihilate"},
                                                 {r.win_assassinate, "assassinate"},
                                                 {r.win_control_area, "control area"},
                                                 {r.win_destroy_hq, "destroy HQ"},
                                                 {r.win_economic_victory, "economic victory"},
                                                 {r.win_take_and_hold, "take and hold"},
                                                 {r.win_sudden_death, "sudden death"}};
  for (const auto& [flag, name] : flags) {
    if (flag == 0.0f) continue;
    if (!out.empty()) out += ", ";
    out += name;
  }
  return out.empty() ? "none" : out;
}

void appendSummary(std::string& out, const std::string& file, const ReplayInfo& r,
                   const std::vector<PlayerPictureSizes>& pictures,
                   const std::vector<std::string>& actions) {
  out += file + "\n";
  out += "  game:     " + r.game_name + "\n";
  out += "  map:      " + r.map_name + "\n";
  out += "  version:  " + r.version + "\n";
  out += "  win:      " + winConditions(r) + "\n";
  out += "  players:  " + std::to_string(r.player_count) + "\n";
  for (std::size_t i = 0; i < r.players.size(); ++i) {
    const PlayerInfo& p = r.players[i];
    out += "    " + std::to_string(i + 1) + ". " + p.name + "  team " + std::to_string(p.team) +
           "  race " + p.race + "  block " + std::to_string(p.block_start) + "-" +
           std::to_string(p.block_end) +
           (pictures[i].badge.present() || pictures[i].banner.present() ? "  pictures" : "") + "\n";
  }
  for (const std::string& action : actions) out += "  action:   " + action + "\n";
}

// Writes the players' pictures as PNG files named after the replay's own
// name bytes; returns false when one could not be written.
bool extractPictures(const fs::path& folder, const std::string& file, const ReplayInfo& r) {
  const std::string stem = fs::path(file).stem().string();
  bool ok = true;
  for (std::size_t i = 0; i < r.players.size(); ++i) {
    const PlayerInfo& p = r.players[i];
    const std::pair<const PictureRef*, const char*> pictures[] = {{&p.badge, "badge"},
                                                                  {&p.banner, "banner"}};
    for (const auto& [picture, kind] : pictures) {
      if (!*picture) continue;
      const fs::path path =
          folder / (stem + ".player" + std::to_string(i + 1) + "." + kind + ".png");
      QByteArray png;
      QBuffer buffer(&png);
      buffer.open(QIODevice::WriteOnly);
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      if (!(*picture)->image().save(&buffer, "PNG") || !out.write(png.constData(), png.size()) ||
          !out.flush()) {
        std::fprintf(stderr, "myzor-info: cannot write %s\n", path.c_str());
        ok = false;
      }
    }
  }
  return ok;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("myzor-info"));
  QCoreApplication::setApplicationVersion(QStringLiteral(MYZOR_VERSION));

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Prints the game, map, win conditions and players of replay files (*.rec)."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption json(
      QStringLiteral("json"),
      QStringLiteral("Print one JSON object per file, one per line; file names "
                     "that are not UTF-8 show U+FFFD for their odd bytes."));
  const QCommandLineOption recursive(
      {QStringLiteral("r"), QStringLiteral("recursive")},
      QStringLiteral("Read every *.rec file under a folder argument."));
  const QCommandLineOption extract(
      QStringLiteral("extract-pictures"),
      QStringLiteral("Write each player's badge and banner as PNG files into <dir>."),
      QStringLiteral("dir"));
  const QCommandLineOption no_pictures(
      QStringLiteral("no-pictures"),
      QStringLiteral("Read only the pictures' sizes, not their pixels: the same "
                     "output, much faster on many files."));
  parser.addOptions({json, recursive, extract, no_pictures});
  parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Replay files or folders."),
                               QStringLiteral("FILE..."));

  const RawArguments arguments(argc, argv);
  if (!parser.parse(arguments.list)) {
    std::fprintf(stderr, "myzor-info: %s\nTry 'myzor-info --help'.\n",
                 qPrintable(parser.errorText()));
    return 2;
  }
  if (parser.isSet(QStringLiteral("help"))) parser.showHelp(0);
  if (parser.isSet(QStringLiteral("version"))) parser.showVersion();
  if (parser.positionalArguments().isEmpty()) {
    std::fprintf(stderr, "myzor-info: no replay file given\nTry 'myzor-info --help'.\n");
    return 2;
  }

  if (parser.isSet(no_pictures) && parser.isSet(extract)) {
    std::fprintf(stderr,
                 "myzor-info: --no-pictures cannot be combined with --extract-pictures\n"
                 "Try 'myzor-info --help'.\n");
    return 2;
  }

  const bool as_json = parser.isSet(json);
  fs::path picture_folder;
  if (parser.isSet(extract)) {
    picture_folder = arguments.raw(parser.value(extract)).toStdString();
    std::error_code ec;
    fs::create_directories(picture_folder, ec);
    if (!fs::is_directory(picture_folder)) {
      std::fprintf(stderr, "myzor-info: cannot create the folder %s\n", picture_folder.c_str());
      return 2;
    }
  }

  // One input's output, made on a reading thread and written in input order.
  struct Report {
    std::string out;
    std::string err;
    bool ok = true;
  };
  const bool metadata_only = parser.isSet(no_pictures);
  const auto readOne = [&](const Input& input) {
    Report report;
    std::vector<std::string> actions;
    try {
      if (input.early_error) throw *input.early_error;
      const auto append = [&actions](const std::string& line) { actions.push_back(line); };
      ReplayMetadata read;
      if (metadata_only) {
        read = ReadReplayMetadata(input.argument, append);
      } else {
        read.replay = ReadReplay(input.argument, append);
        read.pictures = PictureSizesOf(read.replay);
        if (!picture_folder.empty() &&
            !extractPictures(picture_folder, input.argument, read.replay))
          report.ok = false;
      }
      if (as_json)
        report.out = myzor::ReadJsonLine(input.argument, read, actions);
      else
        appendSummary(report.out, input.argument, read.replay, read.pictures, actions);
    } catch (const ReaderError& error) {
      report.ok = false;
      if (as_json)
        report.out = myzor::ErrorJsonLine(input.argument, error);
      else
        report.err = "myzor-info: " + error.message() + "\n";
    }
    return report;
  };

  const std::vector<Input> inputs = myzor_info::ExpandArguments(
      myzor_info::RawPositionals(arguments, parser.positionalArguments()), parser.isSet(recursive));
  bool all_ok = true;
  // The metadata read mostly waits for the disk, so several files are read at
  // once; the full read, which may write pictures, stays on this thread.
  myzor_info::ReadInOrder<Report>(
      inputs.size(), metadata_only ? myzor_info::kReaders : 0,
      [&](std::size_t i) { return readOne(inputs[i]); },
      [&all_ok](const Report& report) {
        std::fwrite(report.out.data(), 1, report.out.size(), stdout);
        if (!report.err.empty()) {
          std::fflush(stdout);
          std::fputs(report.err.c_str(), stderr);
        }
        all_ok = all_ok && report.ok;
      });
  std::fflush(stdout);
  return all_ok ? 0 : 1;
}
