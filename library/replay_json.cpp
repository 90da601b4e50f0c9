#include "library/replay_json.h"

#include <cmath>
#include <cstdint>

namespace myzor {
namespace {

using namespace zor_rep_reader;

// The flags are floats holding 0 or 1, written as the whole numbers they are.
Json number(float value) {
  if (value == std::trunc(value) && std::abs(value) < 1e15f) return static_cast<std::int64_t>(value);
  return static_cast<double>(value);
}

Json picture(const PictureSize& size) {
  if (!size.present()) return nullptr;
  Json o = Json::object();
  o["width"] = size.width;
  o["height"] = size.height;
  return o;
}

}  // namespace

Json ReplayJson(const ReplayInfo& r, const std::vector<PlayerPictureSizes>& pictures) {
  // Filled key by key: braced lists would build every pair as a small array
  // first, which costs more than reading the file.
  Json players = Json::array();
  players.get_ref<Json::array_t&>().reserve(r.players.size());
  for (std::size_t i = 0; i < r.players.size(); ++i) {
    const PlayerInfo& p = r.players[i];
    const PlayerPictureSizes sizes = i < pictures.size() ? pictures[i] : PlayerPictureSizes{};
    Json& player = players.emplace_back(Json::object());
    player["block_start"] = p.block_start;
    player["block_end"] = p.block_end;
    player["name"] = p.name;
    player["race"] = p.race;
    player["team"] = p.team;
    player["banner"] = picture(sizes.banner);
    player["banner_name"] = p.banner_name;
    player["badge"] = picture(sizes.badge);
    player["badge_name"] = p.badge_name;
  }
  Json o = Json::object();
  o["game_name"] = r.game_name;
  o["map_name"] = r.map_name;
  o["version"] = r.version;
  o["header_value"] = r.header_value;
  o["ai_difficulty"] = r.ai_difficulty;
  o["starting_resources"] = r.starting_resources;
  o["lock_teams"] = r.lock_teams;
  o["cheats"] = r.cheats;
  o["starting_location"] = r.starting_location;
  o["game_speed"] = r.game_speed;
  o["resource_sharing"] = r.resource_sharing;
  o["resource_rate"] = r.resource_rate;
  o["win_annihilate"] = number(r.win_annihilate);
  o["win_assassinate"] = number(r.win_assassinate);
  o["win_control_area"] = number(r.win_control_area);
  o["win_destroy_hq"] = number(r.win_destroy_hq);
  o["win_economic_victory"] = number(r.win_economic_victory);
  o["win_take_and_hold"] = number(r.win_take_and_hold);
  o["win_sudden_death"] = number(r.win_sudden_death);
  o["player_count"] = r.player_count;
  o["players"] = std::move(players);
  return o;
}

Json ReadJson(const std::string& file, const ReplayMetadata& read,
              const std::vector<std::string>& actions) {
  Json o = Json::object();
  o["file"] = file;
  o["ok"] = true;
  o["replay"] = ReplayJson(read.replay, read.pictures);
  o["actions"] = actions;
  return o;
}

Json ErrorJson(const std::string& file, const ReaderError& error) {
  Json offset = nullptr;
  if (error.offset()) offset = *error.offset();
  return {{"file", file},
          {"ok", false},
          {"error",
           {{"kind", errorKindName(error.kind())},
            {"offset", std::move(offset)},
            {"message", error.message()}}}};
}

Json FileJson(const std::string& path) {
  std::vector<std::string> actions;
  try {
    const ReplayMetadata read =
        ReadReplayMetadata(path, [&actions](const std::string& line) { actions.push_back(line); });
    return ReadJson(path, read, actions);
  } catch (const ReaderError& error) {
    return ErrorJson(path, error);
  }
}

std::string JsonLine(const Json& object) {
  return object.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace myzor
