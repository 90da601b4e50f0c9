// myzor-info: prints what the replay reader finds in replay files, for people
// or, with --json, as one JSON object per line for scripts.
#include "replay/metadata.h"
#include "tools/read_in_order.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace zor_rep_reader;
namespace fs = std::filesystem;

// QJsonObject sorts its keys; the fields are written by hand instead so that
// they keep the record's order.
void appendJsonString(std::string& out, std::string_view text) {
  out.push_back('"');
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  out.push_back('"');
}

class JsonObject {
 public:
  explicit JsonObject(std::string& out) : m_out(out) { m_out.push_back('{'); }
  ~JsonObject() { m_out.push_back('}'); }
  JsonObject(const JsonObject&) = delete;
  JsonObject& operator=(const JsonObject&) = delete;

  std::string& key(std::string_view name) {
    if (!m_first) m_out.push_back(',');
    m_first = false;
    appendJsonString(m_out, name);
    m_out.push_back(':');
    return m_out;
  }
  void string(std::string_view name, std::string_view value) { appendJsonString(key(name), value); }
  void number(std::string_view name, long long value) { key(name) += std::to_string(value); }
  void number(std::string_view name, float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    key(name) += text;
  }
  void boolean(std::string_view name, bool value) { key(name) += value ? "true" : "false"; }
  void null(std::string_view name) { key(name) += "null"; }

 private:
  std::string& m_out;
  bool m_first = true;
};

void appendPicture(JsonObject& object, std::string_view name, const PictureSize& picture) {
  if (!picture.present()) {
    object.null(name);
    return;
  }
  JsonObject size(object.key(name));
  size.number("width", static_cast<long long>(picture.width));
  size.number("height", static_cast<long long>(picture.height));
}

void appendReplay(std::string& out, const ReplayInfo& r,
                  const std::vector<PlayerPictureSizes>& pictures) {
  JsonObject o(out);
  o.string("game_name", r.game_name);
  o.string("map_name", r.map_name);
  o.string("version", r.version);
  o.number("header_value", static_cast<long long>(r.header_value));
  o.number("ai_difficulty", static_cast<long long>(r.ai_difficulty));
  o.number("starting_resources", static_cast<long long>(r.starting_resources));
  o.number("lock_teams", static_cast<long long>(r.lock_teams));
  o.number("cheats", static_cast<long long>(r.cheats));
  o.number("starting_location", static_cast<long long>(r.starting_location));
  o.number("game_speed", static_cast<long long>(r.game_speed));
  o.number("resource_sharing", static_cast<long long>(r.resource_sharing));
  o.number("resource_rate", static_cast<long long>(r.resource_rate));
  o.number("win_annihilate", r.win_annihilate);
  o.number("win_assassinate", r.win_assassinate);
  o.number("win_control_area", r.win_control_area);
  o.number("win_destroy_hq", r.win_destroy_hq);
  o.number("win_economic_victory", r.win_economic_victory);
  o.number("win_take_and_hold", r.win_take_and_hold);
  o.number("win_sudden_death", r.win_sudden_death);
  o.number("player_count", static_cast<long long>(r.player_count));
  std::string& players = o.key("players");
  players.push_back('[');
  for (std::size_t i = 0; i < r.players.size(); ++i) {
    if (i > 0) players.push_back(',');
    const PlayerInfo& p = r.players[i];
    JsonObject po(players);
    po.number("block_start", static_cast<long long>(p.block_start));
    po.number("block_end", static_cast<long long>(p.block_end));
    po.string("name", p.name);
    po.string("race", p.race);
    po.number("team", static_cast<long long>(p.team));
    appendPicture(po, "banner", pictures[i].banner);
    po.string("banner_name", p.banner_name);
    appendPicture(po, "badge", pictures[i].badge);
    po.string("badge_name", p.badge_name);
  }
  players.push_back(']');
}

struct Input {
  std::string argument;  // as given, or the path found under a folder
  std::optional<ReaderError> early_error;
};

std::string winConditions(const ReplayInfo& r) {
  std::string out;
  const std::pair<float, const char*> flags[] = {
      {r.win_annihilate, "annihilate"},       {r.win_assassinate, "assassinate"},
      {r.win_control_area, "control area"},   {r.win_destroy_hq, "destroy HQ"},
      {r.win_economic_victory, "economic victory"}, {r.win_take_and_hold, "take and hold"},
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
           std::to_string(p.block_end) + (pictures[i].badge.present() || pictures[i].banner.present() ? "  pictures" : "") + "\n";
  }
  for (const std::string& action : actions) out += "  action:   " + action + "\n";
}

// Writes the players' pictures as PNG files; returns false when one could not
// be written.
bool extractPictures(const QString& folder, const std::string& file, const ReplayInfo& r) {
  const QString stem = QFileInfo(QString::fromStdString(file)).completeBaseName();
  bool ok = true;
  for (std::size_t i = 0; i < r.players.size(); ++i) {
    const PlayerInfo& p = r.players[i];
    const std::pair<const PictureRef*, const char*> pictures[] = {{&p.badge, "badge"},
                                                                  {&p.banner, "banner"}};
    for (const auto& [picture, kind] : pictures) {
      if (!*picture) continue;
      const QString path = QDir(folder).filePath(
          QStringLiteral("%1.player%2.%3.png").arg(stem).arg(i + 1).arg(QLatin1String(kind)));
      if (!(*picture)->image().save(path, "PNG")) {
        std::fprintf(stderr, "myzor-info: cannot write %s\n", qPrintable(path));
        ok = false;
      }
    }
  }
  return ok;
}

std::vector<Input> expandArguments(const QStringList& arguments, bool recursive) {
  std::vector<Input> inputs;
  for (const QString& argument : arguments) {
    const std::string path = argument.toStdString();
    std::error_code ec;
    if (!fs::is_directory(path, ec)) {
      inputs.push_back({path, std::nullopt});
      continue;
    }
    if (!recursive) {
      inputs.push_back({path, ReaderError(ErrorKind::file, std::nullopt,
                                          path + ": is a folder; use --recursive to read "
                                                 "the replays in it")});
      continue;
    }
    std::vector<std::string> found;
    for (auto it = fs::recursive_directory_iterator(
             path, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      std::string extension = it->path().extension().string();
      std::transform(extension.begin(), extension.end(), extension.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      std::error_code file_ec;
      if (extension == ".rec" && it->is_regular_file(file_ec)) found.push_back(it->path().string());
    }
    if (ec)
      inputs.push_back({path, ReaderError(ErrorKind::file, std::nullopt,
                                          path + ": cannot list the folder: " + ec.message())});
    std::sort(found.begin(), found.end());
    for (std::string& file : found) inputs.push_back({std::move(file), std::nullopt});
  }
  return inputs;
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
  const QCommandLineOption json(QStringLiteral("json"),
                                QStringLiteral("Print one JSON object per file, one per line."));
  const QCommandLineOption recursive(
      {QStringLiteral("r"), QStringLiteral("recursive")},
      QStringLiteral("Read every *.rec file under a folder argument."));
  const QCommandLineOption extract(
      QStringLiteral("extract-pictures"),
      QStringLiteral("Write each player's badge and banner as PNG files into <dir>."),
      QStringLiteral("dir"));
  const QCommandLineOption no_pictures(
      QStringLiteral("no-pictures"),
      QStringLiteral("Do not read the pictures' pixels, only their sizes; much faster on many "
                     "files, with the same output."));
  parser.addOptions({json, recursive, extract, no_pictures});
  parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Replay files or folders."),
                               QStringLiteral("FILE..."));

  if (!parser.parse(QCoreApplication::arguments())) {
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
  QString picture_folder;
  if (parser.isSet(extract)) {
    picture_folder = parser.value(extract);
    if (!QDir().mkpath(picture_folder)) {
      std::fprintf(stderr, "myzor-info: cannot create the folder %s\n", qPrintable(picture_folder));
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
    std::string& out = report.out;
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
        if (!picture_folder.isEmpty() &&
            !extractPictures(picture_folder, input.argument, read.replay))
          report.ok = false;
      }
      const ReplayInfo& replay = read.replay;
      if (as_json) {
        JsonObject o(out);
        o.string("file", input.argument);
        o.boolean("ok", true);
        appendReplay(o.key("replay"), replay, read.pictures);
        std::string& list = o.key("actions");
        list.push_back('[');
        for (std::size_t i = 0; i < actions.size(); ++i) {
          if (i > 0) list.push_back(',');
          appendJsonString(list, actions[i]);
        }
        list.push_back(']');
      } else {
        appendSummary(out, input.argument, replay, read.pictures, actions);
      }
    } catch (const ReaderError& error) {
      report.ok = false;
      if (as_json) {
        JsonObject o(out);
        o.string("file", input.argument);
        o.boolean("ok", false);
        JsonObject e(o.key("error"));
        e.string("kind", errorKindName(error.kind()));
        if (error.offset())
          e.number("offset", static_cast<long long>(*error.offset()));
        else
          e.null("offset");
        e.string("message", error.message());
      } else {
        report.err = "myzor-info: " + error.message() + "\n";
      }
    }
    if (as_json) out.push_back('\n');
    return report;
  };

  const std::vector<Input> inputs =
      expandArguments(parser.positionalArguments(), parser.isSet(recursive));
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
