// Feeds arbitrary replay content and patterns to the renaming: every input
// gives either a pattern error that points into the pattern (or at its end),
// or one name that is a single path component of at most 255 bytes of UTF-8
// ending in ".rec".
#include <QUtf8StringView>
#include <cstdlib>
#include <cstring>
#include <string>

#include "library/files/file_operations.h"
#include "library/files/rename_pattern.h"

namespace {

// Input: fields separated by '\n': pattern, game, map (as UTF-16, so it can
// hold lone surrogates), players (',' between), a byte for each player's
// team, races, version, file name, and 8 bytes of modification time.
void check(const QByteArray& name) {
  if (name.isEmpty() || name.size() > 255 || !name.endsWith(".rec") || name.contains('/') ||
      name.contains('\0') || !QUtf8StringView(name).isValidUtf8())
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace myzor;
  QList<QByteArray> fields =
      QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)).split('\n');
  while (fields.size() < 9) fields.append(QByteArray());
  const QString pattern_text = QString::fromUtf8(fields[0]);
  PatternError error;
  const std::optional<RenamePattern> pattern = RenamePattern::parse(pattern_text, &error);
  if (!pattern) {
    // The position is a character of the pattern, or its end (an empty pattern).
    if (error.position < 0 || error.position > pattern_text.size()) std::abort();
    return 0;
  }
  std::u16string map(static_cast<std::size_t>(fields[2].size() / 2), u'\0');
  std::memcpy(map.data(), fields[2].constData(), map.size() * 2);
  ReplayRow row;
  row.game = QString::fromUtf8(fields[1]);
  row.map = QString::fromStdU16String(map);
  const QStringList names = QString::fromUtf8(fields[3]).split(QLatin1Char(','));
  const QStringList races = QString::fromUtf8(fields[5]).split(QLatin1Char(','));
  for (qsizetype i = 0; i < names.size(); ++i)
    row.roster.push_back({names[i], races.value(i), i < fields[4].size() ? fields[4][i] : 0});
  row.version = QString::fromUtf8(fields[6]);
  row.player_count = static_cast<int>(size % 300);
  row.ok = size % 7 != 0;
  // A file name holds neither '/' nor NUL.
  row.file.path =
      "/nonexistent-myzor-fuzz/" + QByteArray(fields[7]).replace('/', "").replace('\0', "");
  std::memcpy(&row.file.mtime_ns, fields[8].leftJustified(8, '\0').constData(), 8);

  check(SafeFileName(pattern->expand(row, static_cast<int>(size)),
                     QStringLiteral(" (%1)").arg(size)));
  const RenamePlan plan = PlanRename({row}, *pattern);
  const PlannedRename& planned = plan.files.at(0);
  if (planned.state == RenameState::error) {
    if (!(pattern->needsContent() && !row.ok)) std::abort();
  } else {
    check(planned.new_name);
    if (planned.newPath() != "/nonexistent-myzor-fuzz/" + planned.new_name) std::abort();
  }
  return 0;
}
