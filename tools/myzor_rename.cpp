// myzor-rename: renames replay files by a pattern of their content
// ("{date} {map} - {teams}"), never overwriting a file, for scripts.
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHash>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "library/core/folder_scan.h"
#include "library/core/replay_row.h"
#include "library/files/file_operations.h"
#include "library/files/rename_pattern.h"
#include "library/journal/batches.h"
#include "library/journal/journal.h"
#include "library/userdata/user_store.h"
#include "replay/metadata.h"
#include "tools/raw_arguments.h"
#include "tools/scan_problem_text.h"

namespace {

using namespace myzor;
using Json = nlohmann::ordered_json;

std::string bytes(const QByteArray& data) { return data.toStdString(); }
std::string text(const QString& data) { return data.toStdString(); }

void writeLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

void printJson(const Json& object) {
  writeLine(object.dump(-1, ' ', false, Json::error_handler_t::replace));
}

Json errorObject(const QByteArray& file, const QString& kind, std::optional<std::int64_t> offset,
                 const QString& message) {
  Json error;
  error["kind"] = text(kind);
  error["offset"] = offset ? Json(*offset) : Json(nullptr);
  error["message"] = text(message);
  Json object;
  object["file"] = bytes(file);
  object["ok"] = false;
  object["error"] = std::move(error);
  return object;
}

class Reporter {
 public:
  explicit Reporter(bool json) : m_json(json) {}

  void failure(const QByteArray& file, const QString& kind, std::optional<std::int64_t> offset,
               const QString& message) {
    m_failed = true;
    if (m_json) {
      printJson(errorObject(file, kind, offset, message));
    } else {
      std::fflush(stdout);
      std::fprintf(stderr, "myzor-rename: %s: %s\n", file.constData(),
                   message.toLocal8Bit().constData());
    }
  }
  void renamed(const QByteArray& file, const QByteArray& new_path, bool unchanged) {
    if (m_json) {
      Json object;
      object["file"] = bytes(file);
      object["ok"] = true;
      object["new_name"] = bytes(new_path.mid(new_path.lastIndexOf('/') + 1));
      printJson(object);
    } else {
      writeLine(bytes(file) + " -> " + bytes(new_path) + (unchanged ? " (unchanged)" : ""));
    }
  }
  [[nodiscard]] bool failed() const { return m_failed; }

 private:
  bool m_json;
  bool m_failed = false;
};

// The files the arguments name, each once, folders listed with -r.
std::vector<QByteArray> collectFiles(const RawArguments& arguments, const QStringList& positional,
                                     bool recursive, Reporter& reporter) {
  std::vector<QByteArray> files;
  std::set<QByteArray> seen;
  for (const QString& argument : positional) {
    const QByteArray path = arguments.raw(argument);
    std::error_code ec;
    if (!std::filesystem::is_directory(std::filesystem::path(bytes(path)), ec)) {
      if (seen.insert(path).second) files.push_back(path);
      continue;
    }
    if (!recursive) {
      reporter.failure(path, QStringLiteral("file"), std::nullopt,
                       QStringLiteral("is a folder; use --recursive to rename the replays in it"));
      continue;
    }
    const FolderScan scan = ScanFolder(path);
    for (const ScanProblem& problem : scan.problems)
      reporter.failure(path, QStringLiteral("file"), std::nullopt,
                       myzor_tools::ScanProblemText(problem));
    for (const FileEntry& entry : scan.files)
      if (seen.insert(entry.path).second) files.push_back(entry.path);
  }
  return files;
}

QString stateText(BatchState state) {
  switch (state) {
    case BatchState::running:
      return QStringLiteral("running");
    case BatchState::finished:
      return QStringLiteral("done");
    case BatchState::interrupted:
      return QStringLiteral("interrupted");
    case BatchState::undone:
      return QStringLiteral("undone");
  }
  return {};
}

void printHistory(Journal& journal, bool json) {
  for (const JournalBatch& batch : journal.batches()) {
    if (json) {
      Json object;
      object["batch"] = batch.id;
      object["kind"] = text(BatchKindName(batch.kind));
      object["program"] = text(batch.program);
      object["started"] = text(batch.started.toString(Qt::ISODateWithMs));
      object["ended"] = batch.ended.isValid() ? Json(text(batch.ended.toString(Qt::ISODateWithMs)))
                                              : Json(nullptr);
      object["files"] = batch.total;
      object["done"] = batch.done;
      object["state"] = text(stateText(batch.state));
      printJson(object);
    } else {
      writeLine(text(QStringLiteral("%1  %2  %3  %4 of %5 files  %6 (%7)")
                         .arg(batch.id)
                         .arg(batch.started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                              BatchKindName(batch.kind))
                         .arg(batch.done)
                         .arg(batch.total)
                         .arg(stateText(batch.state), batch.program)));
    }
  }
}

QString patternProblem(const PatternError& error) {
  using Problem = PatternError::Problem;
  const qsizetype at = error.position + 1;
  switch (error.problem) {
    case Problem::empty:
      return QStringLiteral("the pattern is empty");
    case Problem::close_without_open:
      return QStringLiteral("'}' at %1 has no '{' before it").arg(at);
    case Problem::open_without_close:
      return QStringLiteral("'{' at %1 has no '}' after it").arg(at);
    case Problem::unknown_field:
      return QStringLiteral(
                 "unknown field {%1}; the fields are {game}, {map}, {players}, {teams}, {races}, "
                 "{version}, {count}, {date}, {time}, {n}, {n:3} and {file}")
          .arg(error.field);
    case Problem::width_not_allowed:
      return QStringLiteral("{%1} takes no width; only {n} does, as {n:3}").arg(error.field);
    case Problem::bad_width:
      return QStringLiteral("the width in {%1} must be a number from 1 to 9").arg(error.field);
  }
  return {};
}

QString refusalText(const BatchOutcome& outcome) {
  return QStringLiteral("nothing was changed: %1")
      .arg(outcome.journal_error.isEmpty() ? QStringLiteral("the journal cannot be used")
                                           : outcome.journal_error);
}

// The outcome of an undo or finish: each file's move, then what was left alone.
int reportBatch(const BatchOutcome& outcome, Reporter& reporter) {
  if (outcome.refused) {
    std::fprintf(stderr, "myzor-rename: %s\n", qPrintable(refusalText(outcome)));
    return 1;
  }
  for (const FileResult& result : outcome.results) {
    if (result.ok)
      reporter.renamed(result.path,
                       result.new_path.isEmpty() ? QByteArray("(removed)") : result.new_path,
                       false);
    else
      reporter.failure(result.path, QStringLiteral("file"), std::nullopt, result.error);
  }
  std::fflush(stdout);
  return reporter.failed() ? 1 : 0;
}

// Exit status when a batch cut short waits for --undo or --finish.
constexpr int kInterruptedStatus = 3;

// Says which batch was cut short and how far it got; on a terminal asks
// whether to undo or finish it. True when it is dealt with and the run may go on.
bool resolveInterrupted(Journal& journal, Reporter& reporter) {
  const std::optional<JournalBatch> batch = journal.interrupted();
  if (!batch) return true;
  std::fprintf(stderr, "myzor-rename: a batch did not finish: %s of %d.\n",
               qPrintable(DescribeBatch(*batch)), batch->total);
  if (::isatty(STDIN_FILENO) == 0) {
    std::fprintf(stderr,
                 "Run 'myzor-rename --undo' to put it back as it was, or 'myzor-rename --finish' "
                 "to complete it.\n");
    return false;
  }
  for (;;) {
    std::fprintf(stderr, "[u]ndo it, [f]inish it, or [q]uit? ");
    char line[16] = {};
    if (std::fgets(line, sizeof line, stdin) == nullptr || line[0] == 'q') return false;
    if (line[0] == 'u' || line[0] == 'f') {
      const BatchOutcome outcome =
          line[0] == 'u' ? UndoBatch(journal, batch->id) : FinishBatch(journal, batch->id);
      return reportBatch(outcome, reporter) == 0;
    }
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("myzor-rename"));
  QCoreApplication::setApplicationVersion(QStringLiteral(MYZOR_VERSION));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Renames replay files (*.rec) by their content, in their own folders; never\n"
      "overwrites a file. A name that is taken gets \" (2)\", \" (3)\", ... before .rec.\n"
      "\n"
      "The fields of a pattern: {game} {map} {players} {teams} {races} {version}\n"
      "{count} {date} {time} {n} {n:3} {file}.\n"
      "\n"
      "Every batch is journaled in ~/.local/share/myzor/journal.sqlite first, so\n"
      "that it can be undone. Exit status: 0 when every file was done, 1 when any\n"
      "failed, 2 for a usage error, 3 when a batch that was cut short waits for\n"
      "--undo or --finish."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption pattern_option(
      {QStringLiteral("p"), QStringLiteral("pattern")},
      QStringLiteral("The pattern of the new names\n(default \"%1\").")
          .arg(QLatin1String(kDefaultRenamePattern)),
      QStringLiteral("pattern"), QLatin1String(kDefaultRenamePattern));
  const QCommandLineOption dry_run(QStringLiteral("dry-run"),
                                   QStringLiteral("Print the new names; rename nothing."));
  const QCommandLineOption json(QStringLiteral("json"),
                                QStringLiteral("Print one JSON object per file, one per line."));
  const QCommandLineOption recursive(
      {QStringLiteral("r"), QStringLiteral("recursive")},
      QStringLiteral("Rename every *.rec file under a folder argument."));
  const QCommandLineOption undo(
      QStringLiteral("undo"),
      QStringLiteral("Take back the last batch of file operations (of this program or the "
                     "window): files go back to their old names."));
  const QCommandLineOption finish(QStringLiteral("finish"),
                                  QStringLiteral("Complete a batch that was cut short."));
  const QCommandLineOption history(
      QStringLiteral("history"),
      QStringLiteral("List the batches of file operations, newest first."));
  parser.addOptions({pattern_option, dry_run, json, recursive, undo, finish, history});
  parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Replay files or folders."),
                               QStringLiteral("FILE|DIR..."));

  const RawArguments arguments(argc, argv);
  if (!parser.parse(arguments.list)) {
    std::fprintf(stderr, "myzor-rename: %s\nTry 'myzor-rename --help'.\n",
                 qPrintable(parser.errorText()));
    return 2;
  }
  if (parser.isSet(QStringLiteral("help"))) parser.showHelp(0);
  if (parser.isSet(QStringLiteral("version"))) parser.showVersion();
  Reporter reporter(parser.isSet(json));
  const int journal_options =
      int(parser.isSet(undo)) + int(parser.isSet(finish)) + int(parser.isSet(history));
  if (journal_options > 0) {
    if (journal_options > 1 || !parser.positionalArguments().isEmpty()) {
      std::fprintf(stderr,
                   "myzor-rename: --undo, --finish and --history take no file and go alone\n"
                   "Try 'myzor-rename --help'.\n");
      return 2;
    }
    // The store's journal: an edit of tags and notes (myzor-tag, the window) is undone by it.
    UserStore store;
    Journal& journal = store.journal();
    if (!journal.isOpen()) {
      std::fprintf(stderr, "myzor-rename: %s\n", qPrintable(journal.error()));
      return 1;
    }
    if (parser.isSet(history)) {
      printHistory(journal, parser.isSet(json));
      return journal.error().isEmpty() ? 0 : 1;
    }
    // An undo takes back the batch cut short first: it is the last one.
    std::optional<JournalBatch> batch = journal.interrupted();
    if (!batch && parser.isSet(undo)) batch = journal.lastUndoable();
    if (!batch) {
      std::fprintf(
          stderr, "myzor-rename: %s\n",
          parser.isSet(undo) ? "nothing to undo" : "no batch was cut short; nothing to finish");
      return 1;
    }
    std::fprintf(stderr, "myzor-rename: %s %s\n", parser.isSet(undo) ? "undoing" : "finishing",
                 qPrintable(DescribeBatch(*batch)));
    return reportBatch(parser.isSet(undo) ? store.undo(batch->id) : FinishBatch(journal, batch->id),
                       reporter);
  }
  if (parser.positionalArguments().isEmpty()) {
    std::fprintf(stderr, "myzor-rename: no replay file given\nTry 'myzor-rename --help'.\n");
    return 2;
  }
  const QString pattern_text = QString::fromUtf8(arguments.raw(parser.value(pattern_option)));
  PatternError pattern_error;
  const std::optional<RenamePattern> pattern = RenamePattern::parse(pattern_text, &pattern_error);
  if (!pattern) {
    std::fprintf(
        stderr, "myzor-rename: bad pattern \"%s\": %s\n%*s^\n", qPrintable(pattern_text),
        qPrintable(patternProblem(pattern_error)),
        static_cast<int>(std::strlen("myzor-rename: bad pattern \"") + pattern_error.position), "");
    return 2;
  }

  std::optional<Journal> journal;
  if (!parser.isSet(dry_run)) {
    journal.emplace();
    if (!journal->isOpen()) {
      std::fprintf(stderr, "myzor-rename: nothing was renamed: %s\n", qPrintable(journal->error()));
      return 1;
    }
    if (!resolveInterrupted(*journal, reporter)) return kInterruptedStatus;
  }
  std::vector<ReplayRow> rows;
  for (const QByteArray& path :
       collectFiles(arguments, parser.positionalArguments(), parser.isSet(recursive), reporter)) {
    FileEntry entry;
    errno = 0;
    if (!StatFile(path, entry)) {
      const int error = errno;
      reporter.failure(path, QStringLiteral("file"), std::nullopt,
                       error != 0 ? QString::fromLocal8Bit(std::strerror(error))
                                  : QStringLiteral("not a regular file"));
      continue;
    }
    const QString relative = DisplayName(path);
    try {
      const auto metadata = zor_rep_reader::ReadReplayMetadata(std::filesystem::path(bytes(path)),
                                                               [](const std::string&) {});
      rows.push_back(MakeRow(entry, relative, metadata.replay));
    } catch (const zor_rep_reader::ReaderError& error) {
      rows.push_back(MakeErrorRow(entry, relative, error));
    }
  }

  const RenamePlan plan = PlanRename(rows, *pattern);
  std::vector<FileResult> results;
  if (journal) {
    BatchOutcome outcome = JournaledRename(*journal, plan);
    if (outcome.refused) {
      std::fprintf(stderr, "myzor-rename: %s\n", qPrintable(refusalText(outcome)));
      return 1;
    }
    results = std::move(outcome.results);
  }
  auto result = results.begin();
  for (std::size_t i = 0; i < plan.files.size(); ++i) {
    const PlannedRename& file = plan.files[i];
    if (file.state == RenameState::error) {
      const ReplayRow& row = rows[i];
      if (row.ok)
        reporter.failure(file.old_path, QStringLiteral("file"), std::nullopt, file.reason);
      else
        reporter.failure(file.old_path, row.error_kind, row.error_offset, file.reason);
    } else if (file.state == RenameState::unchanged || parser.isSet(dry_run)) {
      reporter.renamed(file.old_path, file.newPath(), file.state == RenameState::unchanged);
    } else {
      const FileResult& done = *result++;
      if (done.ok)
        reporter.renamed(file.old_path, done.new_path, false);
      else
        reporter.failure(file.old_path, QStringLiteral("file"), std::nullopt, done.error);
    }
  }
  std::fflush(stdout);
  return reporter.failed() ? 1 : 0;
}
