#include "tests/support/replay_builder.h"

#include <fstream>
#include <stdexcept>

namespace replay_builder {
namespace {

class Writer {
 public:
  explicit Writer(std::uint8_t filler) : m_filler(filler) {}

  [[nodiscard]] std::int64_t size() const { return static_cast<std::int64_t>(m_bytes.size()); }
  void byte(std::uint8_t b) { m_bytes.push_back(b); }
  void skip(std::int64_t count) {
    m_bytes.insert(m_bytes.end(), static_cast<std::size_t>(count), m_filler);
  }
  void padTo(std::int64_t offset) {
    if (offset < size()) throw std::logic_error("replay builder: layout overlaps");
    skip(offset - size());
  }
  void u32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) byte(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void latin1(const std::string& text) { m_bytes.insert(m_bytes.end(), text.begin(), text.end()); }
  void utf16(const std::u16string& text) {
    for (char16_t unit : text) {
      byte(static_cast<std::uint8_t>(unit & 0xFF));
      byte(static_cast<std::uint8_t>(unit >> 8));
    }
  }
  // Pixel records bottom row first: blue, green, red, 0xFF.
  void pixels(const QImage& picture, int width, int height) {
    const QImage image = picture.isNull()
                             ? QImage()
                             : picture.convertToFormat(QImage::Format_RGB32).scaled(width, height);
    for (int row = height - 1; row >= 0; --row) {
      for (int column = 0; column < width; ++column) {
        const QRgb rgb = image.isNull() ? 0 : image.pixel(column, row);
        byte(static_cast<std::uint8_t>(qBlue(rgb)));
        byte(static_cast<std::uint8_t>(qGreen(rgb)));
        byte(static_cast<std::uint8_t>(qRed(rgb)));
        byte(0xFF);
      }
    }
  }
  Bytes take() { return std::move(m_bytes); }

 private:
  Bytes m_bytes;
  std::uint8_t m_filler;
};

std::uint32_t length(std::size_t n) {
  if (n > 255) throw std::logic_error("replay builder: counted fields hold at most 255");
  return static_cast<std::uint32_t>(n);
}

void writePlayer(Writer& w, const PlayerSpec& player, Layout& layout) {
  w.u32(length(player.name.size()));
  w.utf16(player.name);
  w.skip(4);
  w.u32(player.team);
  w.u32(length(player.race.size()));
  w.latin1(player.race);
  w.skip(36);
  w.byte(player.selector);
  if (player.selector > 0) {
    w.skip(7);
    for (const std::string* field : {&player.field1, &player.field2, &player.field3}) {
      w.u32(length(field->size()));
      w.latin1(*field);
    }
  } else {
    w.skip(2);
  }
  w.skip(20);
  w.u32(length(player.middle_text.size()));
  w.utf16(player.middle_text);
  w.skip(40);
  if (!player.pictures) {
    w.latin1("DATAINFO");
    w.skip(12);
    layout.badge_pixels.push_back(-1);
    layout.banner_pixels.push_back(-1);
    return;
  }
  if (player.image_tag.size() != 8 || player.image_tag == "DATAINFO")
    throw std::logic_error("replay builder: a picture tag has 8 characters and is not DATAINFO");
  w.latin1(player.image_tag);
  w.skip(8);
  w.u32(length(player.badge_name.size()));
  w.latin1(player.badge_name);
  w.skip(56);
  layout.badge_pixels.push_back(w.size());
  w.pixels(player.badge, 64, 64);
  w.skip(36);
  // The banner name's count is followed by 2 more bytes, not 3.
  w.byte(static_cast<std::uint8_t>(length(player.banner_name.size())));
  w.skip(2);
  w.latin1(player.banner_name);
  w.skip(57);
  layout.banner_pixels.push_back(w.size());
  w.pixels(player.banner, 64, 96);
  w.skip(40);
}

}  // namespace

Bytes BuildReplay(const ReplaySpec& recipe, Layout* layout) {
  Writer w(recipe.filler);
  const std::size_t map_length = recipe.map_name.size() + 18;
  if (map_length > 255) throw std::logic_error("replay builder: map name too long");
  const std::int64_t L = static_cast<std::int64_t>(map_length);

  w.padTo(194);
  w.byte(recipe.player_count.value_or(static_cast<std::uint8_t>(recipe.players.size())));
  w.padTo(198);
  w.byte(recipe.header_high);
  w.byte(recipe.header_low);
  w.padTo(228);
  w.byte(static_cast<std::uint8_t>(L));
  w.padTo(250);
  w.latin1(recipe.map_name);
  w.padTo(253 + L);
  std::string tag = recipe.version_tag;
  if (tag.empty()) tag = recipe.old_version ? "FOLDMODI" : "FOLD0130";
  if (tag.size() != 8) throw std::logic_error("replay builder: a version tag has 8 characters");
  w.latin1(tag);

  if (recipe.old_version) {
    const std::int64_t table = 360 + L;
    if (recipe.settings.size() > 9) throw std::logic_error("replay builder: nine settings at most");
    for (std::size_t i = 0; i < 9; ++i) {
      w.padTo(table + 7 * static_cast<std::int64_t>(i));
      if (i < recipe.settings.size()) {
        if (recipe.settings[i].first.size() != 4)
          throw std::logic_error("replay builder: a setting code has 4 characters");
        w.latin1(recipe.settings[i].first);
        w.byte(recipe.settings[i].second);
      }
    }
    // The game name's length shares its byte with the last entry's stride.
    w.padTo(table + 62);
  } else {
    w.padTo(349 + L);
  }

  w.u32(length(recipe.game_name.size()));
  w.utf16(recipe.game_name);
  w.skip(4);
  w.u32(length(recipe.win_keys.size()));
  for (std::uint32_t key : recipe.win_keys) w.u32(key);
  w.skip(40);

  // Where things land is always worked out; the caller may not want it.
  Layout local;
  Layout& where = layout != nullptr ? * layout = Layout{} : local;
  where.first_player = w.size();
  for (const PlayerSpec& player : recipe.players) {
    where.player_starts.push_back(w.size());
    writePlayer(w, player, where);
    where.player_ends.push_back(w.size());
  }
  w.skip(6);
  where.action_marker = w.size();
  if (recipe.action) {
    w.byte(0x60);
    w.byte(*recipe.action);
  } else {
    w.byte(recipe.no_action_marker);
  }
  return w.take();
}

ReplaySpec SimpleReplay(int players, bool pictures) {
  ReplaySpec recipe;
  recipe.map_name = "Test Plateau";
  recipe.game_name = u"Test Game";
  recipe.win_keys = {kAnnihilate};
  recipe.action = 7;
  for (int n = 1; n <= players; ++n) {
    PlayerSpec player;
    player.name = u"Player " + std::u16string(1, static_cast<char16_t>(u'0' + n % 10));
    player.team = static_cast<std::uint8_t>(n % 2);
    player.race = "race_" + std::to_string(n);
    player.pictures = pictures;
    if (pictures) {
      player.badge_name = "badge" + std::to_string(n);
      player.banner_name = "banner" + std::to_string(n);
      player.badge = QImage(64, 64, QImage::Format_RGB32);
      player.badge.fill(qRgb(40 * n % 256, 100, 200));
      player.banner = QImage(64, 96, QImage::Format_RGB32);
      player.banner.fill(qRgb(200, 30 * n % 256, 60));
    }
    recipe.players.push_back(std::move(player));
  }
  return recipe;
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::vector<std::string> AwkwardFileNames() {
  return {"caf\xE9.rec",
          "say \"hi\".rec",
          "back\\slash.rec",
          "two\nlines.rec",
          "\xC5\x81\xC3\xB3"
          "d\xC5\xBA.rec",
          "\xE7\x81\xAB\xE5\xB1\xB1.rec"};
}

}  // namespace replay_builder
