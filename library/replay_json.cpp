#include "library/replay_json.h"

#include <cmath>
#include <cstdint>
#include <utility>

namespace myzor {
namespace {

using namespace zor_rep_reader;

// Appends the fields of an object in the order given. Each name is given
// once, so no field is looked for first.
class Fields {
 public:
  Fields(Json& object, std::size_t count) : m_fields(object.get_ref<Json::object_t&>()) {
    m_fields.reserve(count);
  }
  template <typename Value>
  void add(const char* name, Value&& value) {
    m_fields.Json::object_t::Container::emplace_back(name, std::forward<Value>(value));
  }

 private:
  Json::object_t& m_fields;
};

// The flags are floats holding 0 or 1, written as the whole numbers they are.
Json number(float value) {
  if (value == std::trunc(value) && std::abs(value) < 1e15f) return static_cast<std::int64_t>(value);
  return static_cast<double>(value);
}

Json picture(const PictureSize& size) {
  if (!size.present()) return nullptr;
  Json o = Json::object();
  Fields fields(o, 2);
  fields.add("width", size.width);
  fields.add("height", size.height);
  return o;
}

}  // namespace

Json ReplayJson(const ReplayInfo& r, const std::vector<PlayerPictureSizes>& pictures) {
  // Filled field by field: braced lists would build every pair as a small
  // array first, which costs more than reading the file.
  Json players = Json::array();
  players.get_ref<Json::array_t&>().reserve(r.players.size());
  for (std::size_t i = 0; i < r.players.size(); ++i) {
    const PlayerInfo& p = r.players[i];
    const PlayerPictureSizes sizes = i < pictures.size() ? pictures[i] : PlayerPictureSizes{};
    Fields player(players.emplace_back(Json::object()), 9);
    player.add("block_start", p.block_start);
    player.add("block_end", p.block_end);
    player.add("name", p.name);
    player.add("race", p.race);
    player.add("team", p.team);
    player.add("banner", picture(sizes.banner));
    player.add("banner_name", p.banner_name);
    player.add("badge", picture(sizes.badge));
    player.add("badge_name", p.badge_name);
  }
  Json o = Json::object();
  Fields fields(o, 21);
  fields.add("game_name", r.game_name);
  fields.add("map_name", r.map_name);
  fields.add("version", r.version);
  fields.add("header_value", r.header_value);
  fields.add("ai_difficulty", r.ai_difficulty);
  fields.add("starting_resources", r.starting_resources);
  fields.add("lock_teams", r.lock_teams);
  fields.add("cheats", r.cheats);
  fields.add("starting_location", r.starting_location);
  fields.add("game_speed", r.game_speed);
  fields.add("resource_sharing", r.resource_sharing);
  fields.add("resource_rate", r.resource_rate);
  fields.add("win_annihilate", number(r.win_annihilate));
  fields.add("win_assassinate", number(r.win_assassinate));
  fields.add("win_control_area", number(r.win_control_area));
  fields.add("win_destroy_hq", number(r.win_destroy_hq));
  fields.add("win_economic_victory", number(r.win_economic_victory));
  fields.add("win_take_and_hold", number(r.win_take_and_hold));
  fields.add("win_sudden_death", number(r.win_sudden_death));
  fields.add("player_count", r.player_count);
  fields.add("players", std::move(players));
  return o;
}

Json ReadJson(const std::string& file, const ReplayMetadata& read,
              const std::vector<std::string>& actions) {
  Json o = Json::object();
  Fields fields(o, 4);
  fields.add("file", file);
  fields.add("ok", true);
  fields.add("replay", ReplayJson(read.replay, read.pictures));
  fields.add("actions", actions);
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
  std::string line = object.dump(-1, ' ', false, Json::error_handler_t::replace);
  line.push_back('\n');
  return line;
}

}  // namespace myzor
