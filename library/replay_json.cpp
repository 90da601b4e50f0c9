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
  return Json{{"width", size.width}, {"height", size.height}};
}

}  // namespace

Json ReplayJson(const ReplayInfo& r, const std::vector<PlayerPictureSizes>& pictures) {
  Json players = Json::array();
  for (std::size_t i = 0; i < r.players.size(); ++i) {
    const PlayerInfo& p = r.players[i];
    const PlayerPictureSizes sizes = i < pictures.size() ? pictures[i] : PlayerPictureSizes{};
    players.push_back({{"block_start", p.block_start},
                       {"block_end", p.block_end},
                       {"name", p.name},
                       {"race", p.race},
                       {"team", p.team},
                       {"banner", picture(sizes.banner)},
                       {"banner_name", p.banner_name},
                       {"badge", picture(sizes.badge)},
                       {"badge_name", p.badge_name}});
  }
  return {{"game_name", r.game_name},
          {"map_name", r.map_name},
          {"version", r.version},
          {"header_value", r.header_value},
          {"ai_difficulty", r.ai_difficulty},
          {"starting_resources", r.starting_resources},
          {"lock_teams", r.lock_teams},
          {"cheats", r.cheats},
          {"starting_location", r.starting_location},
          {"game_speed", r.game_speed},
          {"resource_sharing", r.resource_sharing},
          {"resource_rate", r.resource_rate},
          {"win_annihilate", number(r.win_annihilate)},
          {"win_assassinate", number(r.win_assassinate)},
          {"win_control_area", number(r.win_control_area)},
          {"win_destroy_hq", number(r.win_destroy_hq)},
          {"win_economic_victory", number(r.win_economic_victory)},
          {"win_take_and_hold", number(r.win_take_and_hold)},
          {"win_sudden_death", number(r.win_sudden_death)},
          {"player_count", r.player_count},
          {"players", std::move(players)}};
}

Json ReadJson(const std::string& file, const ReplayMetadata& read,
              const std::vector<std::string>& actions) {
  return {{"file", file},
          {"ok", true},
          {"replay", ReplayJson(read.replay, read.pictures)},
          {"actions", actions}};
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
