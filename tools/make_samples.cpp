// Writes the sample replays that ship in data/testfiles/1.30/. Run once by
// hand (scripts/make-samples) and the output committed; the names, maps and
// races are our own inventions.
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>

#include "tests/support/replay_builder.h"

namespace {

using namespace replay_builder;

struct Heraldry {
  QColor field;
  QColor charge;
  QColor trim;
  int emblem;  // 0 star, 1 sun, 2 chevron, 3 tower, 4 crescent, 5 cross
};

void drawEmblem(QPainter& p, int emblem, QPointF centre, double size, const QColor& colour) {
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  switch (emblem % 6) {
    case 0: {  // five-pointed star
      QPainterPath star;
      for (int i = 0; i < 10; ++i) {
        const double r = (i % 2 == 0) ? size : size * 0.42;
        const double a = -M_PI / 2 + i * M_PI / 5;
        const QPointF point(centre.x() + r * std::cos(a), centre.y() + r * std::sin(a));
        i == 0 ? star.moveTo(point) : star.lineTo(point);
      }
      star.closeSubpath();
      p.drawPath(star);
      break;
    }
    case 1:  // sun with rays
      for (int i = 0; i < 12; ++i) {
        const double a = i * M_PI / 6;
        QPolygonF ray;
        ray << QPointF(centre.x() + size * 0.5 * std::cos(a - 0.2),
                       centre.y() + size * 0.5 * std::sin(a - 0.2))
            << QPointF(centre.x() + size * std::cos(a), centre.y() + size * std::sin(a))
            << QPointF(centre.x() + size * 0.5 * std::cos(a + 0.2),
                       centre.y() + size * 0.5 * std::sin(a + 0.2));
        p.drawPolygon(ray);
      }
      p.drawEllipse(centre, size * 0.5, size * 0.5);
      break;
    case 2: {  // chevron
      QPolygonF chevron;
      chevron << QPointF(centre.x() - size, centre.y() + size * 0.5)
              << QPointF(centre.x(), centre.y() - size * 0.6)
              << QPointF(centre.x() + size, centre.y() + size * 0.5)
              << QPointF(centre.x() + size * 0.6, centre.y() + size * 0.8)
              << QPointF(centre.x(), centre.y() - size * 0.05)
              << QPointF(centre.x() - size * 0.6, centre.y() + size * 0.8);
      p.drawPolygon(chevron);
      break;
    }
    case 3: {  // tower with battlements
      const QRectF body(centre.x() - size * 0.45, centre.y() - size * 0.5, size * 0.9, size * 1.3);
      p.drawRect(body);
      for (int i = 0; i < 3; ++i)
        p.drawRect(QRectF(body.left() + i * size * 0.35 - size * 0.05, body.top() - size * 0.3,
                          size * 0.25, size * 0.3));
      p.setBrush(QColor(30, 25, 20));
      p.drawRoundedRect(
          QRectF(centre.x() - size * 0.15, centre.y() + size * 0.35, size * 0.3, size * 0.45), 3,
          3);
      break;
    }
    case 4: {  // crescent
      QPainterPath moon;
      moon.addEllipse(centre, size, size);
      QPainterPath bite;
      bite.addEllipse(centre + QPointF(size * 0.45, -size * 0.2), size * 0.85, size * 0.85);
      p.drawPath(moon.subtracted(bite));
      break;
    }
    default:  // cross
      p.drawRect(QRectF(centre.x() - size * 0.22, centre.y() - size, size * 0.44, size * 2));
      p.drawRect(QRectF(centre.x() - size, centre.y() - size * 0.22, size * 2, size * 0.44));
  }
}

QImage makeBadge(const Heraldry& h) {
  QImage image(64, 64, QImage::Format_RGB32);
  image.fill(QColor(48, 52, 60));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath shield;
  shield.moveTo(8, 6);
  shield.lineTo(56, 6);
  shield.lineTo(56, 30);
  shield.cubicTo(56, 46, 44, 54, 32, 60);
  shield.cubicTo(20, 54, 8, 46, 8, 30);
  shield.closeSubpath();
  QLinearGradient shade(0, 0, 64, 64);
  shade.setColorAt(0, h.field.lighter(130));
  shade.setColorAt(1, h.field.darker(140));
  p.setBrush(shade);
  p.setPen(QPen(h.trim, 3));
  p.drawPath(shield);
  p.setClipPath(shield);
  p.fillRect(QRectF(32, 6, 24, 54), QColor(0, 0, 0, 40));
  p.setClipping(false);
  drawEmblem(p, h.emblem, QPointF(32, 30), 14, h.charge);
  return image;
}

QImage makeBanner(const Heraldry& h) {
  QImage image(64, 96, QImage::Format_RGB32);
  image.fill(QColor(36, 40, 46));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  // The pole and crossbar.
  p.fillRect(QRectF(4, 2, 56, 5), QColor(120, 88, 50));
  p.setBrush(QColor(200, 170, 80));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPointF(4, 4.5), 3.5, 3.5);
  p.drawEllipse(QPointF(60, 4.5), 3.5, 3.5);
  // Cloth with a swallowtail hem.
  QPainterPath cloth;
  cloth.moveTo(9, 7);
  cloth.lineTo(55, 7);
  cloth.lineTo(55, 90);
  cloth.lineTo(32, 74);
  cloth.lineTo(9, 90);
  cloth.closeSubpath();
  QLinearGradient fold(9, 0, 55, 0);
  fold.setColorAt(0, h.field.darker(130));
  fold.setColorAt(0.35, h.field.lighter(115));
  fold.setColorAt(0.7, h.field);
  fold.setColorAt(1, h.field.darker(150));
  p.setBrush(fold);
  p.setPen(QPen(h.trim, 2));
  p.drawPath(cloth);
  p.setPen(Qt::NoPen);
  p.setBrush(h.trim);
  p.drawRect(QRectF(9, 12, 46, 4));
  p.drawRect(QRectF(9, 60, 46, 3));
  drawEmblem(p, h.emblem, QPointF(32, 38), 15, h.charge);
  return image;
}

PlayerSpec player(const char16_t* name, std::uint8_t team, const char* race, const Heraldry* h,
                  const char* badge_name = "", const char* banner_name = "") {
  PlayerSpec recipe;
  recipe.name = name;
  recipe.team = team;
  recipe.race = race;
  recipe.middle_text = u"default";
  if (h) {
    recipe.pictures = true;
    recipe.image_tag = "PLYRIMGS";
    recipe.badge_name = badge_name;
    recipe.banner_name = banner_name;
    recipe.badge = makeBadge(*h);
    recipe.banner = makeBanner(*h);
  }
  return recipe;
}

const Heraldry kHouses[] = {
    {QColor(150, 28, 36), QColor(240, 200, 70), QColor(230, 210, 150), 0},
    {QColor(28, 70, 140), QColor(235, 235, 240), QColor(200, 170, 80), 1},
    {QColor(30, 110, 60), QColor(245, 225, 120), QColor(20, 40, 25), 2},
    {QColor(90, 60, 130), QColor(220, 220, 230), QColor(200, 170, 80), 3},
    {QColor(220, 140, 30), QColor(40, 30, 20), QColor(90, 50, 20), 4},
    {QColor(235, 235, 230), QColor(170, 20, 30), QColor(60, 60, 70), 5},
    {QColor(20, 120, 130), QColor(250, 240, 200), QColor(10, 50, 60), 1},
    {QColor(40, 40, 45), QColor(210, 60, 50), QColor(180, 180, 190), 0},
};

// Small inputs for the fuzzer to start from: both versions, each kind of
// player block, no players, and cuts at telling places.
bool writeFuzzSeeds(const std::string& folder, const Bytes& marsh) {
  std::vector<std::pair<std::string, Bytes>> seeds;
  seeds.emplace_back("marsh.rec", marsh);
  seeds.emplace_back("newer_1p.rec", BuildReplay(SimpleReplay(1, false)));
  seeds.emplace_back("no_players.rec", BuildReplay(SimpleReplay(0, false)));
  ReplaySpec old = SimpleReplay(2, false);
  old.old_version = true;
  old.settings = {{"DPSG", 2}, {"FDIA", 1}, {"TRSR", 3}};
  old.win_keys = {kAnnihilate, kControlArea, kTakeAndHold};
  old.players[1].selector = 2;
  old.players[1].field1 = "abc";
  old.players[1].middle_text = u"xy";
  seeds.emplace_back("older_2p.rec", BuildReplay(old));
  ReplaySpec old_pictures = SimpleReplay(3, true);
  old_pictures.old_version = true;
  old_pictures.settings = {{"FDIA", 2}, {"TSSR", 1}};
  seeds.emplace_back("older_pictures_3p.rec", BuildReplay(old_pictures));
  Layout layout;
  const Bytes pictures = BuildReplay(SimpleReplay(1, true), &layout);
  seeds.emplace_back("pictures_1p.rec", pictures);
  seeds.emplace_back("cut_in_badge.rec",
                     Bytes(pictures.begin(), pictures.begin() + layout.badge_pixels[0] + 9));
  const Bytes whole = seeds[3].second;
  for (std::size_t cut : {195u, 240u, 300u, 420u, 480u})
    seeds.emplace_back("older_cut_" + std::to_string(cut) + ".rec",
                       Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
  for (const auto& [name, bytes] : seeds)
    if (!WriteFile(folder + "/" + name, bytes)) return false;
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: make_samples FOLDER [FUZZ_SEED_FOLDER]\n");
    return 2;
  }
  const std::string folder = argv[1];

  ReplaySpec duel;
  duel.map_name = "Ashfall Ridge";
  duel.game_name = u"Duel at Dawn";
  duel.header_high = 0x01;
  duel.header_low = 0x2C;
  duel.win_keys = {kAnnihilate};
  duel.players = {
      player(u"Ashen Vel", 0, "emberkin", &kHouses[0], "crest_ember", "flag_ember"),
      player(u"Mira Tolvane", 1, "tidewardens", &kHouses[1], "crest_tide", "flag_tide")};
  duel.action = 12;

  ReplaySpec cinder;
  cinder.map_name = "Cinder Fields";
  cinder.game_name = u"Cinder Cup \u2013 Round 2";
  cinder.old_version = true;
  cinder.settings = {{"FDIA", 2}, {"TSSR", 1}, {"MTKL", 1}, {"AEHC", 0},
                     {"COLS", 3}, {"DPSG", 2}, {"HSSR", 0}, {"TRSR", 1}};
  cinder.win_keys = {kControlArea, kTakeAndHold};
  cinder.players = {
      player(u"\u0141ucja Brenn", 0, "stonebound", &kHouses[2], "crest_stone", "flag_stone"),
      player(u"Orvo Kettel", 0, "stonebound", &kHouses[3], "crest_tower", "flag_tower"),
      player(u"Sable Quint", 1, "skyreavers", &kHouses[4], "crest_moon", "flag_moon"),
      player(u"Computer 1", 1, "skyreavers", nullptr)};
  cinder.players[3].selector = 1;
  cinder.players[3].field1 = "ai";
  cinder.players[3].field2 = "normal";

  ReplaySpec glacier;
  glacier.map_name = "Glacier Pass";
  glacier.game_name = u"Frostbite Eight \u2744";
  glacier.win_keys = {kAnnihilate, kControlArea, kTakeAndHold};
  const char16_t* names[] = {u"Brannoch",   u"Ilse Varga", u"T\u00f6rn Hallo",   u"Quill",
                             u"Nadja Sorr", u"Pell Arkin", u"Yuvo \u706b\u5c71", u"Corrin Dace"};
  const char* races[] = {"emberkin", "tidewardens", "stonebound", "skyreavers"};
  for (int i = 0; i < 8; ++i) {
    glacier.players.push_back(player(names[i], static_cast<std::uint8_t>(i % 4), races[i % 4],
                                     &kHouses[i], "crest", "banner"));
  }
  glacier.action = 3;

  ReplaySpec marsh;
  marsh.map_name = "Saltmarsh Delta";
  marsh.game_name = u"Marsh Skirmish";
  marsh.old_version = true;
  marsh.settings = {{"DPSG", 1}, {"FDIA", 0}, {"TRSR", 2}};
  marsh.win_keys = {kTakeAndHold};
  marsh.players = {player(u"Hesk", 0, "tidewardens", nullptr),
                   player(u"Dorra Fen", 1, "emberkin", nullptr),
                   player(u"Computer 2", 2, "stonebound", nullptr)};
  marsh.action = 0;

  const std::pair<const char*, const ReplaySpec*> samples[] = {{"ashfall_duel.rec", &duel},
                                                               {"cinder_fields_4p.rec", &cinder},
                                                               {"glacier_pass_8p.rec", &glacier},
                                                               {"saltmarsh_3p.rec", &marsh}};
  for (const auto& [name, recipe] : samples) {
    if (!WriteFile(folder + "/" + name, BuildReplay(*recipe))) {
      std::fprintf(stderr, "make_samples: cannot write %s/%s\n", folder.c_str(), name);
      return 1;
    }
  }
  if (argc == 3) return writeFuzzSeeds(argv[2], BuildReplay(marsh)) ? 0 : 1;
  return 0;
}
