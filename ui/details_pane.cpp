#include "ui/details_pane.h"

#include <QDateTime>
#include <QEvent>
#include <QFile>
#include <QFormLayout>
#include <QFrame>
#include <QFutureWatcher>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLocale>
#include <QPixmap>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <array>
#include <cmath>
#include <memory>
#include <utility>

#include "library/core/full_read.h"
#include "replay/replay.h"
#include "ui/map_pictures.h"
#include "ui/notes_editor.h"

namespace {

constexpr int kBadgeSize = 64;
constexpr QSize kBannerSize(64, 96);

QString text(const std::string& utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// The captions of the designed window's "Settings" frame, in record order.
const std::array<const char*, 8> kSettingNames = {
    QT_TRANSLATE_NOOP("DetailsPane", "AI Difficulty"),
    QT_TRANSLATE_NOOP("DetailsPane", "Starting Resources"),
    QT_TRANSLATE_NOOP("DetailsPane", "Lock Teams"),
    QT_TRANSLATE_NOOP("DetailsPane", "Cheats Enabled"),
    QT_TRANSLATE_NOOP("DetailsPane", "Starting Location"),
    QT_TRANSLATE_NOOP("DetailsPane", "Game Speed"),
    QT_TRANSLATE_NOOP("DetailsPane", "Resource Sharing"),
    QT_TRANSLATE_NOOP("DetailsPane", "Resource Rate")};
const QString kNone = QStringLiteral("—");

// A small picture drawn at a whole multiple of its pixels, so it stays
// sharp on a screen that scales by 2.
QPixmap sharp(const QImage& image, qreal ratio) {
  const int factor = std::max(1, static_cast<int>(std::lround(ratio)));
  QImage scaled = factor == 1 ? image
                              : image.scaled(image.size() * factor, Qt::IgnoreAspectRatio,
                                             Qt::FastTransformation);
  scaled.setDevicePixelRatio(factor);
  return QPixmap::fromImage(scaled);
}

QLabel* valueLabel(QWidget* parent, const char* name, const QString& accessible) {
  auto* label = new QLabel(kNone, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setAccessibleName(accessible);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  label->setFocusPolicy(Qt::NoFocus);
  // A narrow pane cuts long values short rather than scrolling sideways; the tooltip has them
  // whole.
  label->setMinimumWidth(1);
  return label;
}

}  // namespace

struct DetailsPane::FullRead {
  std::shared_ptr<const myzor::FullRead> full;
  QString game, map_name, version;
  QStringList settings;  // empty for a file that carries none
  QList<bool> wins;
  struct Player {
    QString name, race;
    int team = 0;
    QImage badge, banner;
  };
  QList<Player> players;
  QImage map;
  QString map_problem;
};

namespace {

DetailsPane::FullRead readInFull(const QByteArray& path, const QString& program_folder) {
  DetailsPane::FullRead read;
  read.full = std::make_shared<const myzor::FullRead>(myzor::ReadInFull(path));
  if (!read.full->ok) return read;
  const zor_rep_reader::ReplayInfo& replay = read.full->replay;
  read.game = text(replay.game_name);
  read.map_name = text(replay.map_name);
  read.version = text(replay.version);
  if (replay.version == "< 1.3") {
    for (const std::int16_t value :
         {replay.ai_difficulty, replay.starting_resources, replay.lock_teams, replay.cheats,
          replay.starting_location, replay.game_speed, replay.resource_sharing,
          replay.resource_rate})
      read.settings.append(QString::number(value));
  }
  for (const auto& win : myzor::WinConditionFlags(replay))
    read.wins.append(std::nearbyint(win.flag) != 0.0f);
  const int count = std::min<int>(replay.player_count, static_cast<int>(replay.players.size()));
  for (int k = 0; k < count; ++k) {
    const zor_rep_reader::PlayerInfo& player = replay.players[static_cast<std::size_t>(k)];
    read.players.append({text(player.name), text(player.race), player.team,
                         player.badge ? player.badge->image() : QImage(),
                         player.banner ? player.banner->image() : QImage()});
  }
  const QString map = text(replay.map_name);
  const QString file = findMapPicture(mapPictureFolders(program_folder), map);
  if (file.isEmpty()) {
    read.map_problem = DetailsPane::tr("No map picture for %1").arg(map);
  } else {
    QImageReader reader(file);
    read.map = reader.read();
    if (read.map.isNull())
      read.map_problem = DetailsPane::tr("%1 cannot be read: %2").arg(file, reader.errorString());
  }
  return read;
}

}  // namespace

DetailsPane::DetailsPane(const QString& program_folder, QWidget* parent)
    : QScrollArea(parent), m_program_folder(program_folder) {
  setObjectName(QStringLiteral("details_pane"));
  setAccessibleName(tr("Replay details"));
  setWidgetResizable(true);
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_pool.setMaxThreadCount(1);

  auto* content = new QWidget(this);
  content->setObjectName(QStringLiteral("details_content"));
  auto* layout = new QVBoxLayout(content);
  layout->setContentsMargins(8, 8, 8, 8);

  m_error = new QLabel(content);
  m_error->setObjectName(QStringLiteral("lbl_details_error"));
  m_error->setAccessibleName(tr("Why the replay cannot be read"));
  m_error->setWordWrap(true);
  m_error->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  m_error->setFrameShape(QFrame::StyledPanel);
  m_error->setBackgroundRole(QPalette::ToolTipBase);
  m_error->setForegroundRole(QPalette::ToolTipText);
  m_error->setAutoFillBackground(true);
  m_error->setMargin(6);
  m_error->hide();
  layout->addWidget(m_error);

  // The map picture takes the room the pane has to spare, above the facts.
  m_map = new QLabel(content);
  m_map->setObjectName(QStringLiteral("pic_details_map"));
  m_map->setAccessibleName(tr("Map picture"));
  m_map->setAlignment(Qt::AlignCenter);
  m_map->setMinimumSize(96, 96);
  m_map->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  m_map->setFrameShape(QFrame::StyledPanel);
  m_map->setForegroundRole(QPalette::PlaceholderText);
  m_map->installEventFilter(this);
  layout->addWidget(m_map, 1);
  auto* facts = new QGridLayout;
  facts->setVerticalSpacing(2);
  m_game = valueLabel(content, "lbl_details_game", tr("Game"));
  m_map_name = valueLabel(content, "lbl_details_map", tr("Map"));
  m_version = valueLabel(content, "lbl_details_version", tr("Version"));
  m_date = valueLabel(content, "lbl_details_date", tr("File date"));
  m_size = valueLabel(content, "lbl_details_size", tr("Size"));
  m_file = valueLabel(content, "lbl_details_path", tr("Path"));
  QFont bold = m_game->font();
  bold.setBold(true);
  m_game->setFont(bold);
  m_file->setWordWrap(true);
  const auto fact = [&](int row, int column, const QString& caption, QLabel* value, int span = 1) {
    facts->addWidget(new QLabel(caption, content), row, column * 2, Qt::AlignTop);
    facts->addWidget(value, row, column * 2 + 1, 1, span);
  };
  fact(0, 0, tr("Game:"), m_game);
  fact(0, 1, tr("Map:"), m_map_name);
  fact(1, 0, tr("Version:"), m_version);
  fact(1, 1, tr("Size:"), m_size);
  fact(2, 0, tr("File date:"), m_date, 3);
  fact(3, 0, tr("Path:"), m_file, 3);
  facts->setColumnStretch(1, 1);
  facts->setColumnStretch(3, 1);
  layout->addLayout(facts);

  auto* notes_box = new QGroupBox(tr("What you know of it"), content);
  notes_box->setObjectName(QStringLiteral("box_details_notes"));
  auto* notes_layout = new QVBoxLayout(notes_box);
  m_notes = new NotesEditor(notes_box);
  notes_layout->addWidget(m_notes);
  layout->addWidget(notes_box);
  connect(m_notes, &NotesEditor::edited, this, [this](const myzor::ReplayNotes& notes) {
    if (!m_path.isEmpty()) emit notesEdited(m_path, notes);
  });

  // Settings and win conditions, each in two columns to keep the pane short;
  // side by side where the pane is wide enough.
  m_middle = new QBoxLayout(QBoxLayout::LeftToRight);
  auto* middle = m_middle;
  auto* settings_box = new QGroupBox(tr("Settings"), content);
  settings_box->setObjectName(QStringLiteral("box_details_settings"));
  auto* settings_grid = new QGridLayout(settings_box);
  settings_grid->setVerticalSpacing(2);
  for (std::size_t i = 0; i < kSettingNames.size(); ++i) {
    const QString name = tr(kSettingNames[i]);
    auto* value = valueLabel(settings_box, "lbl_details_setting", name);
    value->setObjectName(QStringLiteral("lbl_details_setting_%1").arg(i + 1));
    const int row = static_cast<int>(i % 4);
    const int column = static_cast<int>(i / 4) * 2;
    settings_grid->addWidget(new QLabel(name + QLatin1Char(':'), settings_box), row, column);
    settings_grid->addWidget(value, row, column + 1);
    m_settings.append(value);
  }
  middle->addWidget(settings_box, 1);
  auto* wins_box = new QGroupBox(tr("Win conditions"), content);
  wins_box->setObjectName(QStringLiteral("box_details_wins"));
  auto* wins_grid = new QGridLayout(wins_box);
  wins_grid->setVerticalSpacing(2);
  const auto captions = myzor::WinConditionFlags({});
  for (std::size_t i = 0; i < captions.size(); ++i) {
    auto* indicator = new QLabel(wins_box);
    indicator->setObjectName(QStringLiteral("lbl_details_win_%1").arg(i + 1));
    indicator->setProperty("caption", tr(captions[i].caption));
    wins_grid->addWidget(indicator, static_cast<int>(i % 4), static_cast<int>(i / 4));
    m_wins.append(indicator);
  }
  middle->addWidget(wins_box, 1);
  layout->addLayout(middle);

  m_players_box = new QGroupBox(tr("Players"), content);
  m_players_box->setObjectName(QStringLiteral("box_details_players"));
  m_players_grid = new QGridLayout(m_players_box);
  m_players_grid->setSpacing(6);
  layout->addWidget(m_players_box);

  auto* action_row = new QHBoxLayout;
  action_row->addWidget(new QLabel(tr("Action:"), content));
  m_action = valueLabel(content, "lbl_details_action", tr("Action line"));
  m_action->setWordWrap(true);
  action_row->addWidget(m_action, 1);
  layout->addLayout(action_row);

  setWidget(content);
  clear();
}

DetailsPane::~DetailsPane() {
  // A read still running hands its result to nobody.
  ++m_generation;
  m_pool.waitForDone();
}

void DetailsPane::clear() {
  ++m_generation;
  m_path.clear();
  m_file_name.clear();
  m_error->hide();
  for (QLabel* label : {m_game, m_map_name, m_version, m_date, m_size, m_file, m_action}) {
    label->setText(kNone);
    label->setToolTip(QString());
    label->setAccessibleDescription(kNone);
  }
  setSettings({});
  setIndicators({});
  setPlayers({});
  showMap(QImage(), tr("No replay"));
  m_notes->setNotes(nullptr, false);
}

void DetailsPane::showNotes(const myzor::ReplayNotes* notes) { m_notes->setNotes(notes, true); }

void DetailsPane::setKnownTags(const QStringList& tags) { m_notes->setKnownTags(tags); }

void DetailsPane::showRow(const myzor::ReplayRow& row) {
  const bool same = row.file.path == m_path;
  clear();
  m_path = row.file.path;
  m_notes->setNotes(row.notes.get(), same);
  m_file_name = myzor::DisplayName(row.file.path.mid(row.file.path.lastIndexOf('/') + 1));
  const auto set = [](QLabel* label, const QString& value) {
    const QString shown = value.isEmpty() ? kNone : value;
    label->setText(shown);
    label->setToolTip(value);
    label->setAccessibleDescription(shown);
  };
  set(m_date, QLocale().toString(QDateTime::fromMSecsSinceEpoch(row.file.mtime_ns / 1'000'000),
                                 QLocale::LongFormat));
  set(m_size,
      tr("%1 (%2 bytes)")
          .arg(QLocale().formattedDataSize(row.file.size, 1, QLocale::DataSizeTraditionalFormat),
               QLocale().toString(row.file.size)));
  set(m_file, myzor::DisplayName(row.file.path));
  if (row.ok) {
    set(m_game, row.game);
    set(m_map_name, row.map);
    set(m_version, row.version);
  }
  showMap(QImage(), tr("Reading…"));

  const quint64 generation = m_generation;
  auto* watcher = new QFutureWatcher<FullRead>(this);
  connect(watcher, &QFutureWatcher<FullRead>::finished, this, [this, watcher, generation] {
    watcher->deleteLater();
    if (generation == m_generation) showRead(watcher->result());
  });
  watcher->setFuture(QtConcurrent::run(&m_pool, readInFull, row.file.path, m_program_folder));
}

void DetailsPane::showRead(const FullRead& read) {
  emit readDone(read.full);
  const myzor::FullRead& full = *read.full;
  if (!full.ok) {
    showError(full.error_kind, full.error_offset ? QString::number(*full.error_offset) : QString(),
              full.error_message);
    showMap(QImage(), tr("No map picture"));
    emit shown(full.path);
    return;
  }
  // The file may have changed since its row was made.
  for (const auto& [label, value] :
       {std::pair{m_game, read.game}, {m_map_name, read.map_name}, {m_version, read.version}}) {
    label->setText(value.isEmpty() ? kNone : value);
    label->setAccessibleDescription(label->text());
  }
  setSettings(read.settings);
  setIndicators(read.wins);
  QList<QWidget*> cards;
  const qreal ratio = devicePixelRatioF();
  for (qsizetype k = 0; k < read.players.size(); ++k) {
    const FullRead::Player& player = read.players[k];
    auto* card = new QFrame(m_players_box);
    card->setObjectName(QStringLiteral("card_player_%1").arg(k + 1));
    card->setFrameShape(QFrame::StyledPanel);
    card->setAccessibleName(tr("Player %1: %2, team %3, %4")
                                .arg(k + 1)
                                .arg(player.name)
                                .arg(player.team)
                                .arg(player.race));
    auto* row = new QHBoxLayout(card);
    row->setContentsMargins(4, 4, 4, 4);
    const auto picture = [&](const QImage& image, QSize size, const char* name,
                             const QString& what) {
      auto* label = new QLabel(card);
      label->setObjectName(QString::fromLatin1(name));
      label->setFixedSize(size);
      label->setAlignment(Qt::AlignCenter);
      label->setFrameShape(QFrame::NoFrame);
      label->setForegroundRole(QPalette::PlaceholderText);
      if (image.isNull()) {
        label->setText(kNone);
        label->setAccessibleName(tr("no %1").arg(what));
      } else {
        label->setPixmap(sharp(image, ratio));
        label->setAccessibleName(what);
      }
      row->addWidget(label, 0, Qt::AlignTop);
    };
    picture(player.badge, QSize(kBadgeSize, kBadgeSize), "pic_details_badge", tr("badge"));
    picture(player.banner, kBannerSize, "pic_details_banner", tr("banner"));
    auto* words = new QVBoxLayout;
    auto* name = new QLabel(player.name, card);
    name->setObjectName(QStringLiteral("lbl_player_name"));
    name->setToolTip(player.name);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    name->setWordWrap(true);
    words->addWidget(name);
    auto* team = new QLabel(tr("Team %1").arg(player.team), card);
    team->setObjectName(QStringLiteral("lbl_player_team"));
    words->addWidget(team);
    auto* race = new QLabel(player.race, card);
    race->setObjectName(QStringLiteral("lbl_player_race"));
    race->setToolTip(player.race);
    race->setWordWrap(true);
    words->addWidget(race);
    words->addStretch(1);
    row->addLayout(words, 1);
    cards.append(card);
  }
  setPlayers(cards);
  m_action->setText(full.actions.isEmpty() ? kNone : full.actions.constLast());
  m_action->setAccessibleDescription(m_action->text());
  showMap(read.map, read.map_problem);
  emit shown(full.path);
}

void DetailsPane::showError(const QString& kind, const QString& offset, const QString& message) {
  QString text = tr("%1 cannot be read (%2").arg(m_file_name, kind);
  if (!offset.isEmpty()) text += tr(", at byte %1").arg(offset);
  text += QStringLiteral("): ") + message;
  m_error->setText(text);
  m_error->setAccessibleDescription(text);
  m_error->show();
}

void DetailsPane::setSettings(const QStringList& values) {
  for (qsizetype i = 0; i < m_settings.size(); ++i) {
    m_settings[i]->setText(i < values.size() ? values[i] : kNone);
    m_settings[i]->setAccessibleDescription(m_settings[i]->text());
  }
}

void DetailsPane::setIndicators(const QList<bool>& set) {
  for (qsizetype i = 0; i < m_wins.size(); ++i) {
    const bool on = i < set.size() && set[i];
    const QString caption = m_wins[i]->property("caption").toString();
    m_wins[i]->setText((on ? QStringLiteral("☑ ") : QStringLiteral("☐ ")) + caption);
    m_wins[i]->setForegroundRole(on ? QPalette::WindowText : QPalette::PlaceholderText);
    m_wins[i]->setAccessibleName(caption);
    m_wins[i]->setAccessibleDescription(on ? tr("set") : tr("not set"));
    m_wins[i]->setProperty("set", on);
  }
}

void DetailsPane::setPlayers(const QList<QWidget*>& cards) {
  qDeleteAll(m_cards);
  m_cards = cards;
  m_players_columns = 0;
  arrangePlayers();
}

void DetailsPane::arrangePlayers() {
  // As many columns of cards as the pane's width holds, so 8 players fit
  // without scrolling at the usual sizes.
  constexpr int kCardWidth = 250;
  const int columns = std::max(1, (viewport()->width() - 24) / kCardWidth);
  if (columns == m_players_columns) return;
  m_players_columns = columns;
  for (QWidget* card : m_cards) m_players_grid->removeWidget(card);
  for (qsizetype k = 0; k < m_cards.size(); ++k)
    m_players_grid->addWidget(m_cards[k], static_cast<int>(k / columns),
                              static_cast<int>(k % columns));
  for (int column = 0; column < m_players_grid->columnCount(); ++column)
    m_players_grid->setColumnStretch(column, column < columns ? 1 : 0);
  m_players_box->setVisible(!m_cards.isEmpty());
}

void DetailsPane::showMap(const QImage& image, const QString& why) {
  m_map_image = image;
  if (image.isNull()) {
    m_map->setPixmap(QPixmap());
    m_map->setText(why);
    m_map->setWordWrap(true);
    m_map->setAccessibleDescription(why);
    return;
  }
  const QSize room = m_map->contentsRect().size();
  const qreal ratio = devicePixelRatioF();
  QImage scaled = image.scaled(room * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  scaled.setDevicePixelRatio(ratio);
  m_map->setPixmap(QPixmap::fromImage(scaled));
  m_map->setAccessibleDescription(tr("Map picture of %1").arg(m_map_name->text()));
}

bool DetailsPane::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_map && event->type() == QEvent::Resize && !m_map_image.isNull())
    showMap(m_map_image, QString());
  return QScrollArea::eventFilter(watched, event);
}

void DetailsPane::resizeEvent(QResizeEvent* event) {
  QScrollArea::resizeEvent(event);
  constexpr int kSideBySide = 560;
  m_middle->setDirection(viewport()->width() < kSideBySide ? QBoxLayout::TopToBottom
                                                           : QBoxLayout::LeftToRight);
  arrangePlayers();
}
