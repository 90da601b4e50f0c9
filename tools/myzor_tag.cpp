// myzor-tag: edits and lists what the user knows of replay files (tags, a
// rating, the favourite and watched marks, a note), and moves all of it to
// another machine as JSON Lines, for scripts.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "library/core/columns.h"
#include "library/core/folder_scan.h"
#include "library/files/file_operations.h"
#include "library/userdata/user_store.h"
#include "tools/raw_arguments.h"
#include "tools/scan_problem_text.h"

namespace {

using namespace myzor;
using Json = nlohmann::ordered_json;

std::string text(const QString& data) { return data.toStdString(); }

void writeLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

std::string dump(const Json& object) {
  return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

bool g_failed = false;

// As the window keeps it: absolute, without "." and "..", links not followed.
QByteArray absolutePath(const QByteArray& given) {
  std::error_code ec;
  std::filesystem::path path = std::filesystem::absolute(given.toStdString(), ec);
  std::string clean = path.lexically_normal().string();
  while (clean.size() > 1 && clean.ends_with('/')) clean.pop_back();
  return QByteArray::fromStdString(clean);
}

void complain(const QByteArray& file, const QString& message) {
  g_failed = true;
  std::fflush(stdout);
  std::fprintf(stderr, "myzor-tag: %s: %s\n", file.constData(), message.toLocal8Bit().constData());
}

// The files the arguments name, each once, folders listed with -r.
std::vector<FileEntry> collectFiles(const RawArguments& arguments, const QStringList& positional,
                                    bool recursive) {
  std::vector<FileEntry> files;
  std::set<QByteArray> seen;
  for (const QString& argument : positional) {
    const QByteArray given = arguments.raw(argument);
    std::error_code ec;
    if (std::filesystem::is_directory(std::filesystem::path(given.toStdString()), ec)) {
      if (!recursive) {
        complain(given, QStringLiteral("is a folder; use --recursive for the replays in it"));
        continue;
      }
      const FolderScan scan = ScanFolder(absolutePath(given));
      for (const ScanProblem& problem : scan.problems)
        complain(given, myzor_tools::ScanProblemText(problem));
      for (const FileEntry& entry : scan.files)
        if (seen.insert(entry.path).second) files.push_back(entry);
      continue;
    }
    FileEntry entry;
    const QByteArray path = absolutePath(given);
    if (!StatFile(path, entry)) {
      complain(given, QStringLiteral("no such replay file"));
      continue;
    }
    if (seen.insert(entry.path).second) files.push_back(entry);
  }
  return files;
}

Json notesObject(const QByteArray& file, const ReplayNotes& notes) {
  Json object;
  object["file"] = file.toStdString();
  Json tags = Json::array();
  for (const QString& tag : notes.tags) tags.push_back(text(tag));
  object["tags"] = std::move(tags);
  object["rating"] = notes.rating;
  object["favourite"] = notes.favourite;
  object["watched"] = notes.watched;
  object["note"] = text(notes.note);
  return object;
}

int list(UserStore& store, const std::vector<FileEntry>& files, bool json) {
  for (const FileEntry& file : files) {
    const std::optional<StoredReplay> found = store.find(file);
    const ReplayNotes notes = found ? found->notes : ReplayNotes();
    if (json) {
      writeLine(dump(notesObject(file.path, notes)));
      continue;
    }
    QStringList parts;
    if (!notes.tags.isEmpty()) parts << notes.tags.join(QStringLiteral(", "));
    if (notes.rating > 0) parts << StarsText(notes.rating);
    if (notes.favourite) parts << QStringLiteral("favourite");
    if (notes.watched) parts << QStringLiteral("watched");
    if (!notes.note.isEmpty())
      parts << QStringLiteral("note: %1").arg(QString(notes.note).replace(u'\n', u' '));
    writeLine(
        file.path.toStdString() + ": " +
        text(parts.isEmpty() ? QStringLiteral("(nothing)") : parts.join(QStringLiteral("; "))));
  }
  return g_failed ? 1 : 0;
}

// One line per replay ({"sha256", "path", "size", and its data}) and one per
// player name ({"player", "person", "note"}).
int exportTo(UserStore& store, const QString& file) {
  QFile out(file);
  if (!(file == QLatin1String("-") ? out.open(stdout, QIODevice::WriteOnly)
                                   : out.open(QIODevice::WriteOnly | QIODevice::Truncate))) {
    complain(QFile::encodeName(file), out.errorString());
    return 1;
  }
  // Hashes first, so that every replay can be found on the other side.
  store.fillHashes();
  int count = 0;
  for (const StoredReplay& replay : store.allReplays()) {
    if (replay.notes.isEmpty()) continue;
    Json object = notesObject(replay.path, replay.notes);
    object.erase("file");
    Json line;
    line["sha256"] = replay.sha256.toHex().toStdString();
    line["path"] = replay.path.toStdString();
    line["size"] = replay.size;
    line.update(object);
    out.write(QByteArray::fromStdString(dump(line) + '\n'));
    ++count;
  }
  for (const PlayerData& player : store.players()) {
    Json line;
    line["player"] = text(player.name);
    line["person"] = player.person.isEmpty() ? Json(nullptr) : Json(text(player.person));
    line["note"] = text(player.note);
    out.write(QByteArray::fromStdString(dump(line) + '\n'));
  }
  if (!out.flush()) {
    complain(QFile::encodeName(file), out.errorString());
    return 1;
  }
  std::fprintf(stderr, "myzor-tag: %d replays written\n", count);
  return 0;
}

int importFrom(UserStore& store, const QString& file) {
  QFile in(file);
  if (!(file == QLatin1String("-") ? in.open(stdin, QIODevice::ReadOnly)
                                   : in.open(QIODevice::ReadOnly))) {
    complain(QFile::encodeName(file), in.errorString());
    return 1;
  }
  std::vector<UserStore::Imported> replays;
  std::vector<PlayerData> players;
  int number = 0;
  while (!in.atEnd()) {
    const QByteArray line = in.readLine().trimmed();
    ++number;
    if (line.isEmpty()) continue;
    const Json object = Json::parse(line.toStdString(), nullptr, false);
    const auto bad = [&](const char* why) {
      complain(QFile::encodeName(file), QStringLiteral("line %1: %2").arg(number).arg(why));
    };
    if (!object.is_object()) {
      bad("not a JSON object");
      return 1;
    }
    if (object.contains("player")) {
      if (!object["player"].is_string()) {
        bad("\"player\" is not a text");
        return 1;
      }
      PlayerData& player = players.emplace_back();
      player.name = QString::fromStdString(object["player"].get<std::string>());
      if (object.value("person", Json()).is_string())
        player.person = QString::fromStdString(object["person"].get<std::string>());
      if (object.value("note", Json()).is_string())
        player.note = QString::fromStdString(object["note"].get<std::string>());
      continue;
    }
    if (!object.value("sha256", Json()).is_string() && !object.value("path", Json()).is_string()) {
      bad("neither \"sha256\" nor \"path\" is given");
      return 1;
    }
    UserStore::Imported& replay = replays.emplace_back();
    replay.sha256 = QByteArray::fromHex(QByteArray::fromStdString(object.value("sha256", "")));
    replay.path = QByteArray::fromStdString(object.value("path", ""));
    const Json size = object.value("size", Json(0));
    replay.size = size.is_number_integer() ? size.get<qint64>() : 0;
    replay.notes = UserStore::notesFromJson(line);
  }
  const std::optional<qint64> batch = store.import(replays, players);
  if (!batch && !store.error().isEmpty()) {
    std::fprintf(stderr, "myzor-tag: nothing was changed: %s\n", qPrintable(store.error()));
    return 1;
  }
  std::fprintf(stderr, "myzor-tag: %zu replays and %zu players read%s\n", replays.size(),
               players.size(), batch ? "" : "; all were known already");
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("myzor-tag"));
  QCoreApplication::setApplicationVersion(QStringLiteral(MYZOR_VERSION));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Gives replay files (*.rec) tags, a rating, the favourite and watched marks and\n"
      "a note, as the window does; lists them; moves all of it to another machine.\n"
      "\n"
      "The data lives in ~/.local/share/myzor/journal.sqlite, beside the journal: each\n"
      "call is one batch that 'myzor-rename --undo' and the window's Undo take back.\n"
      "A replay renamed or moved by another program is found again by its content.\n"
      "Exit status: 0 when every file was done, 1 when any failed, 2 for a usage\n"
      "error."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption add({QStringLiteral("a"), QStringLiteral("add")},
                               QStringLiteral("Give the files this tag (repeatable)."),
                               QStringLiteral("tag"));
  const QCommandLineOption remove(QStringLiteral("remove"),
                                  QStringLiteral("Take this tag away (repeatable)."),
                                  QStringLiteral("tag"));
  const QCommandLineOption rate(
      QStringLiteral("rate"), QStringLiteral("Rate the files 0 (none) to 5."), QStringLiteral("N"));
  const QCommandLineOption favourite(QStringLiteral("favourite"),
                                     QStringLiteral("Mark the files as favourites."));
  const QCommandLineOption no_favourite(QStringLiteral("no-favourite"),
                                        QStringLiteral("Unmark them."));
  const QCommandLineOption watched(QStringLiteral("watched"),
                                   QStringLiteral("Mark the files as watched."));
  const QCommandLineOption no_watched(QStringLiteral("no-watched"), QStringLiteral("Unmark them."));
  const QCommandLineOption note(QStringLiteral("note"),
                                QStringLiteral("Set the note (\"\" takes it away)."),
                                QStringLiteral("text"));
  const QCommandLineOption list_option(QStringLiteral("list"),
                                       QStringLiteral("Print what each file carries."));
  const QCommandLineOption json(QStringLiteral("json"),
                                QStringLiteral("With --list, one JSON object per file."));
  const QCommandLineOption recursive({QStringLiteral("r"), QStringLiteral("recursive")},
                                     QStringLiteral("Every *.rec file under a folder argument."));
  const QCommandLineOption export_option(
      QStringLiteral("export"),
      QStringLiteral("Write all the data, of every replay and player, to FILE (- for the "
                     "output) as JSON Lines keyed by SHA-256 and path."),
      QStringLiteral("FILE"));
  const QCommandLineOption import_option(
      QStringLiteral("import"),
      QStringLiteral("Read data written by --export; replays are found by their content."),
      QStringLiteral("FILE"));
  parser.addOptions({add, remove, rate, favourite, no_favourite, watched, no_watched, note,
                     list_option, json, recursive, export_option, import_option});
  parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Replay files or folders."),
                               QStringLiteral("FILE|DIR..."));

  const RawArguments arguments(argc, argv);
  const auto usage = [](const QString& why) {
    std::fprintf(stderr, "myzor-tag: %s\nTry 'myzor-tag --help'.\n", qPrintable(why));
    return 2;
  };
  if (!parser.parse(arguments.list)) return usage(parser.errorText());
  if (parser.isSet(QStringLiteral("help"))) parser.showHelp(0);
  if (parser.isSet(QStringLiteral("version"))) parser.showVersion();

  NotesChange change;
  change.add = parser.values(add);
  change.remove = parser.values(remove);
  if (parser.isSet(rate)) {
    bool ok = false;
    const int rating = parser.value(rate).toInt(&ok);
    if (!ok || rating < 0 || rating > 5)
      return usage(QStringLiteral("--rate takes 0 to 5, not %1").arg(parser.value(rate)));
    change.rating = rating;
  }
  if (parser.isSet(favourite) && parser.isSet(no_favourite))
    return usage(QStringLiteral("--favourite and --no-favourite go not together"));
  if (parser.isSet(watched) && parser.isSet(no_watched))
    return usage(QStringLiteral("--watched and --no-watched go not together"));
  if (parser.isSet(favourite) || parser.isSet(no_favourite))
    change.favourite = parser.isSet(favourite);
  if (parser.isSet(watched) || parser.isSet(no_watched)) change.watched = parser.isSet(watched);
  if (parser.isSet(note)) change.note = parser.value(note);

  const bool moving = parser.isSet(export_option) || parser.isSet(import_option);
  const bool listing = parser.isSet(list_option);
  if (int(moving) + int(listing) + int(!change.isEmpty()) > 1 ||
      (parser.isSet(export_option) && parser.isSet(import_option)))
    return usage(QStringLiteral("edit, --list, --export and --import go one at a time"));
  if (parser.isSet(json) && !listing) return usage(QStringLiteral("--json goes with --list"));
  if (moving && !parser.positionalArguments().isEmpty())
    return usage(QStringLiteral("--export and --import take no replay file"));
  if (!moving && parser.positionalArguments().isEmpty())
    return usage(QStringLiteral("no replay file given"));
  if (!moving && !listing && change.isEmpty())
    return usage(
        QStringLiteral("nothing to do: give --add, --remove, --rate, --favourite, "
                       "--watched, --note or --list"));

  UserStore store;
  if (!store.isOpen()) {
    std::fprintf(stderr, "myzor-tag: %s\n", qPrintable(store.error()));
    return 1;
  }
  if (parser.isSet(export_option)) return exportTo(store, parser.value(export_option));
  if (parser.isSet(import_option)) return importFrom(store, parser.value(import_option));

  const std::vector<FileEntry> files =
      collectFiles(arguments, parser.positionalArguments(), parser.isSet(recursive));
  if (listing) return list(store, files, parser.isSet(json));
  // A file that carried data under another name takes it along first.
  (void)store.relink(files);
  const std::optional<qint64> batch = store.edit(files, change);
  if (!batch && !store.error().isEmpty()) {
    std::fprintf(stderr, "myzor-tag: nothing was changed: %s\n", qPrintable(store.error()));
    return 1;
  }
  store.fillHashes();
  std::fprintf(stderr, "myzor-tag: %zu files%s\n", files.size(),
               batch ? "" : " already held that; nothing changed");
  return g_failed ? 1 : 0;
}
