#include "library/core/replay_row.h"

#include <QSet>
#include <limits>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace myzor {

QString DisplayName(const QByteArray& native) { return QString::fromUtf8(native); }

QString TeamsText(const Roster& roster) {
  // Made for every row a sort or a search looks at: one string, no other
  // allocation. Each side is the lowest team above the one before.
  qsizetype length = 0;
  for (const RowPlayer& player : roster) length += player.name.size() + 4;
  QString text;
  text.reserve(length);
  bool any = false;
  long long side = std::numeric_limits<long long>::min();
  for (;;) {
    long long next = std::numeric_limits<long long>::max();
    bool found = false;
    for (const RowPlayer& player : roster) {
      if (player.team > side && player.team <= next) {
        next = player.team;
        found = true;
      }
    }
    if (!found) return text;
    if (std::exchange(any, true)) text += QLatin1String(" vs ");
    bool first = true;
    for (const RowPlayer& player : roster) {
      if (player.team != next) continue;
      if (!std::exchange(first, false)) text += QLatin1String(" & ");
      text += player.name;
    }
    side = next;
  }
}

std::array<WinConditionFlag, 7> WinConditionFlags(const zor_rep_reader::ReplayInfo& replay) {
  return {{
      {replay.win_annihilate, "Annihilate"},
      {replay.win_assassinate, "Assassinate"},
      {replay.win_control_area, "Control Area"},
      {replay.win_destroy_hq, "Destroy HQ"},
      {replay.win_economic_victory, "Economic Victory"},
      {replay.win_take_and_hold, "Take and Hold"},
      {replay.win_sudden_death, "Sudden Death"},
  }};
}

QString WinConditionsText(const zor_rep_reader::ReplayInfo& replay) {
  QStringList set;
  for (const auto& [flag, name] : WinConditionFlags(replay)) {
    if (flag != 0.0f) set.append(QString::fromLatin1(name));
  }
  return set.join(QStringLiteral(", "));
}

namespace {

QString joined(const Roster& roster, QString RowPlayer::*field, QStringView separator) {
  qsizetype length = 0;
  for (const RowPlayer& player : roster) length += (player.*field).size() + separator.size();
  QString text;
  text.reserve(length);
  for (qsizetype i = 0; i < roster.size(); ++i) {
    if (i > 0) text += separator;
    text += roster[i].*field;
  }
  return text;
}

}  // namespace

QString ReplayRow::players(QStringView separator) const {
  return joined(roster, &RowPlayer::name, separator);
}

QString ReplayRow::races(QStringView separator) const {
  return joined(roster, &RowPlayer::race, separator);
}

QString ReplayRow::teams() const { return names_only ? names_only_teams : TeamsText(roster); }

namespace {

class CommonText {
 public:
  void share(ReplayRow& row) {
    for (QString* text : {&row.map, &row.version, &row.win_conditions, &row.error_kind})
      share(*text);
    for (RowPlayer& player : row.roster) share(player);
  }
  void share(RowPlayer& player) {
    share(player.name);
    share(player.race);
  }
  // The shared text of the UTF-8 `bytes`, made once per thread and text:
  // the rows of a library repeat their maps, races and names.
  QString fromUtf8(const std::string& bytes) {
    thread_local std::unordered_map<std::string, QString> made;
    if (const auto known = made.find(bytes); known != made.end()) return known->second;
    QString text = QString::fromStdString(bytes);
    if (!share(text)) return text;
    if (made.size() >= static_cast<std::size_t>(kMet)) made.clear();
    made.emplace(bytes, text);
    return text;
  }
  // Whether `text` is now the shared copy of itself.
  bool share(QString& text) {
    if (text.isEmpty()) return false;
    // Each thread first asks the shared texts it has met itself, without
    // the lock: rows read on many threads at once would otherwise queue
    // for it text by text.
    thread_local QSet<QString> met;
    if (const auto known = met.constFind(text); known != met.cend()) {
      text = *known;
      return true;
    }
    {
      const std::lock_guard lock(m_mutex);
      if (const auto known = m_texts.constFind(text); known != m_texts.cend())
        text = *known;
      else if (m_texts.size() < kMost)
        m_texts.insert(text);
      else
        return false;
    }
    if (met.size() >= kMet) met.clear();
    met.insert(text);
    return true;
  }

 private:
  // Enough for every name of a very large library; past it texts are kept
  // as they come.
  static constexpr qsizetype kMost = 1 << 18;
  // What one thread keeps of them at most.
  static constexpr qsizetype kMet = 1 << 14;

  std::mutex m_mutex;
  QSet<QString> m_texts;
};

CommonText& common() {
  static CommonText texts;
  return texts;
}

}  // namespace

ReplayRow MakeRow(const FileEntry& file, const QString& relative_path,
                  const zor_rep_reader::ReplayInfo& replay) {
  ReplayRow row;
  row.file = file;
  row.relative_path = relative_path;
  CommonText& texts = common();
  row.game = QString::fromStdString(replay.game_name);
  row.map = texts.fromUtf8(replay.map_name);
  row.roster.reserve(static_cast<qsizetype>(replay.players.size()));
  for (const zor_rep_reader::PlayerInfo& player : replay.players) {
    row.roster.push_back({texts.fromUtf8(player.name), texts.fromUtf8(player.race), player.team,
                          player.block_start, player.block_end});
  }
  row.version = texts.fromUtf8(replay.version);
  row.win_conditions = WinConditionsText(replay);
  texts.share(row.win_conditions);
  row.player_count = replay.player_count;
  return row;
}

ReplayRow MakeUnreadRow(const FileEntry& file, const QString& relative_path) {
  ReplayRow row;
  row.file = file;
  row.relative_path = relative_path;
  row.ok = false;
  row.read = false;
  row.error_message = QStringLiteral("not read");
  return row;
}

ReplayRow MakeErrorRow(const FileEntry& file, const QString& relative_path,
                       const zor_rep_reader::ReaderError& error) {
  ReplayRow row;
  row.file = file;
  row.relative_path = relative_path;
  row.ok = false;
  const std::string_view kind = zor_rep_reader::errorKindName(error.kind());
  row.error_kind = QString::fromLatin1(kind.data(), static_cast<qsizetype>(kind.size()));
  row.error_offset = error.offset();
  row.error_message = QString::fromStdString(error.message());
  return row;
}

void ShareCommonText(ReplayRow& row) { common().share(row); }
void ShareCommonText(RowPlayer& player) { common().share(player); }
void ShareCommonText(QString& text) { common().share(text); }

}  // namespace myzor
