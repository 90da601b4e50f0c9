#include "library/export/replay_json.h"

#include <QByteArrayView>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <utility>

namespace myzor {
namespace {

using namespace zor_rep_reader;

// Writes one line of JSON straight into a string, field by field in the
// order given, as the JSON library writes it: no spaces, and bytes that are
// not UTF-8 as U+FFFD. The common values (whole numbers, and printable texts
// that need no escape) are written here; any other value is handed to the
// library, so its escaping and number forms are the library's own.
class LineWriter {
 public:
  // Room for `room` bytes is made at once; the line grows past it as needed.
  LineWriter(std::string& out, std::size_t room) : m_out(out) { m_out.resize(room); }

  // Ends the line with a newline and cuts the text to it.
  void finish() {
    put('\n');
    m_out.resize(m_size);
  }

  void beginObject() { begin('{'); }
  void endObject() { end('}'); }
  void beginArray() { begin('['); }
  void endArray() { end(']'); }

  // The field names below are plain ASCII, written as they are.
  template <std::size_t N>
  LineWriter& key(const char (&name)[N]) {
    separate();
    char* at = room(N + 2);
    at[0] = '"';
    std::memcpy(at + 1, name, N - 1);
    at[N] = '"';
    at[N + 1] = ':';
    m_keyed = true;
    return *this;
  }

  void value(std::string_view text) {
    separate();
    if (plain(text)) {
      char* at = room(text.size() + 2);
      at[0] = '"';
      std::memcpy(at + 1, text.data(), text.size());
      at[text.size() + 1] = '"';
    } else {
      library(std::string(text));
    }
  }
  void value(bool flag) {
    separate();
    put(flag ? std::string_view("true") : std::string_view("false"));
  }
  void value(std::nullptr_t) {
    separate();
    put("null");
  }
  template <typename Number>
  requires std::is_integral_v<Number>
  void value(Number number) {
    separate();
    char digits[24];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, number);
    put(std::string_view(digits, static_cast<std::size_t>(end - digits)));
  }
  // The flags are floats holding 0 or 1, written as the whole numbers they are.
  void value(float number) {
    if (number == std::trunc(number) && std::abs(number) < 1e15f) {
      value(static_cast<std::int64_t>(number));
      return;
    }
    separate();
    library(static_cast<double>(number));
  }
  void value(const PictureSize& size) {
    if (!size.present()) {
      value(nullptr);
      return;
    }
    beginObject();
    key("width").value(size.width);
    key("height").value(size.height);
    endObject();
  }
  void value(const std::vector<std::string>& texts) {
    beginArray();
    for (const std::string& text : texts) value(std::string_view(text));
    endArray();
  }

 private:
  // Printable and needing no escape: ASCII, and UTF-8 that is well formed,
  // which the library too writes byte for byte.
  static bool plain(std::string_view text) {
    bool beyond_ascii = false;
    for (const char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte >= 0x80) {
        beyond_ascii = true;
      } else if (byte < 0x20 || byte == 0x7f || c == '"' || c == '\\') {
        return false;
      }
    }
    return !beyond_ascii || QByteArrayView(text.data(), qsizetype(text.size())).isValidUtf8();
  }
  void library(const Json& value) {
    put(value.dump(-1, ' ', false, Json::error_handler_t::replace));
  }
  // The next `count` bytes of the line, to be written.
  char* room(std::size_t count) {
    if (m_size + count > m_out.size()) m_out.resize(std::max(2 * m_out.size(), m_size + count));
    char* at = m_out.data() + m_size;
    m_size += count;
    return at;
  }
  void put(char c) { *room(1) = c; }
  void put(std::string_view text) { std::memcpy(room(text.size()), text.data(), text.size()); }
  void begin(char bracket) {
    separate();
    put(bracket);
    m_first = true;
  }
  void end(char bracket) {
    put(bracket);
    m_first = false;
  }
  // A comma before every value but the first of its object or array; none
  // between a key and its value.
  void separate() {
    if (std::exchange(m_keyed, false)) return;
    if (!std::exchange(m_first, false)) put(',');
  }

  std::string& m_out;
  std::size_t m_size = 0;  // the bytes written so far
  bool m_first = true;
  bool m_keyed = false;
};

void writeReplay(LineWriter& w, const ReplayInfo& r,
                 const std::vector<PlayerPictureSizes>& pictures) {
  w.beginObject();
  w.key("game_name").value(r.game_name);
  w.key("map_name").value(r.map_name);
  w.key("version").value(r.version);
  w.key("header_value").value(r.header_value);
  w.key("ai_difficulty").value(r.ai_difficulty);
  w.key("starting_resources").value(r.starting_resources);
  w.key("lock_teams").value(r.lock_teams);
  w.key("cheats").value(r.cheats);
  w.key("starting_location").value(r.starting_location);
  w.key("game_speed").value(r.game_speed);
  w.key("resource_sharing").value(r.resource_sharing);
  w.key("resource_rate").value(r.resource_rate);
  w.key("win_annihilate").value(r.win_annihilate);
  w.key("win_assassinate").value(r.win_assassinate);
  w.key("win_control_area").value(r.win_control_area);
  w.key("win_destroy_hq").value(r.win_destroy_hq);
  w.key("win_economic_victory").value(r.win_economic_victory);
  w.key("win_take_and_hold").value(r.win_take_and_hold);
  w.key("win_sudden_death").value(r.win_sudden_death);
  w.key("player_count").value(r.player_count);
  w.key("players").beginArray();
  for (std::size_t i = 0; i < r.players.size(); ++i) {
    const PlayerInfo& p = r.players[i];
    const PlayerPictureSizes sizes = i < pictures.size() ? pictures[i] : PlayerPictureSizes{};
    w.beginObject();
    w.key("block_start").value(p.block_start);
    w.key("block_end").value(p.block_end);
    w.key("name").value(p.name);
    w.key("race").value(p.race);
    w.key("team").value(p.team);
    w.key("banner").value(sizes.banner);
    w.key("banner_name").value(p.banner_name);
    w.key("badge").value(sizes.badge);
    w.key("badge_name").value(p.badge_name);
    w.endObject();
  }
  w.endArray();
  w.endObject();
}

}  // namespace

std::string ReadJsonLine(const std::string& file, const ReplayMetadata& read,
                         const std::vector<std::string>& actions) {
  std::string line;
  LineWriter w(line, 1024 + 160 * read.replay.players.size() + file.size());
  w.beginObject();
  w.key("file").value(file);
  w.key("ok").value(true);
  w.key("replay");
  writeReplay(w, read.replay, read.pictures);
  w.key("actions").value(actions);
  w.endObject();
  w.finish();
  return line;
}

std::string ErrorJsonLine(const std::string& file, const ReaderError& error) {
  std::string line;
  LineWriter w(line, 256 + file.size() + error.message().size());
  w.beginObject();
  w.key("file").value(file);
  w.key("ok").value(false);
  w.key("error").beginObject();
  w.key("kind").value(errorKindName(error.kind()));
  if (error.offset())
    w.key("offset").value(*error.offset());
  else
    w.key("offset").value(nullptr);
  w.key("message").value(error.message());
  w.endObject();
  w.endObject();
  w.finish();
  return line;
}

std::string FileJsonLine(const std::string& path) {
  std::vector<std::string> actions;
  try {
    const ReplayMetadata read =
        ReadReplayMetadata(path, [&actions](const std::string& line) { actions.push_back(line); });
    return ReadJsonLine(path, read, actions);
  } catch (const ReaderError& error) {
    return ErrorJsonLine(path, error);
  }
}

std::string JsonLine(const Json& object) {
  std::string line = object.dump(-1, ' ', false, Json::error_handler_t::replace);
  line.push_back('\n');
  return line;
}

}  // namespace myzor
