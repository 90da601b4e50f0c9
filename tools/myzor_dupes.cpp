// myzor-dupes: lists groups of replay files that are byte for byte the same.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "library/core/folder_scan.h"
#include "library/dupes/dupes.h"
#include "tools/raw_arguments.h"
#include "tools/scan_problem_text.h"

namespace {

using Json = nlohmann::ordered_json;

void writeLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

bool g_failed = false;

void problem(const QByteArray& path, const QString& message) {
  g_failed = true;
  std::fflush(stdout);
  std::fprintf(stderr, "myzor-dupes: %s: %s\n", path.constData(),
               message.toLocal8Bit().constData());
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("myzor-dupes"));
  QCoreApplication::setApplicationVersion(QStringLiteral(MYZOR_VERSION));

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Lists groups of replay files (*.rec) that are byte for byte the same.\n"
                     "Files are compared by size and record first; only files left with a partner\n"
                     "are read in full and hashed (SHA-256). Nothing is changed.\n"
                     "Exit status: 0 when every file was read, 1 when any could not be, 2 for a\n"
                     "usage error."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption json(
      QStringLiteral("json"),
      QStringLiteral("Print one JSON object per group, one per line: "
                     "{\"size\": n, \"sha256\": \"...\", \"files\": [...]}. Bytes of a "
                     "file name that are not UTF-8 are written as U+FFFD."));
  const QCommandLineOption recursive(
      {QStringLiteral("r"), QStringLiteral("recursive")},
      QStringLiteral("Compare every *.rec file under a folder argument."));
  parser.addOptions({json, recursive});
  parser.addPositionalArgument(QStringLiteral("PATH"), QStringLiteral("Replay files or folders."),
                               QStringLiteral("PATH..."));

  const RawArguments arguments(argc, argv);
  if (!parser.parse(arguments.list)) {
    std::fprintf(stderr, "myzor-dupes: %s\nTry 'myzor-dupes --help'.\n",
                 qPrintable(parser.errorText()));
    return 2;
  }
  if (parser.isSet(QStringLiteral("help"))) parser.showHelp(0);
  if (parser.isSet(QStringLiteral("version"))) parser.showVersion();
  if (parser.positionalArguments().isEmpty()) {
    std::fprintf(stderr, "myzor-dupes: no replay file given\nTry 'myzor-dupes --help'.\n");
    return 2;
  }

  std::vector<myzor::FileEntry> files;
  std::set<QByteArray> seen;
  const auto add = [&](const myzor::FileEntry& entry) {
    if (seen.insert(entry.path).second) files.push_back(entry);
  };
  for (const QString& argument : parser.positionalArguments()) {
    const QByteArray path = arguments.raw(argument);
    std::error_code ec;
    if (std::filesystem::is_directory(std::filesystem::path(path.toStdString()), ec)) {
      if (!parser.isSet(recursive)) {
        problem(path, QStringLiteral("is a folder; use --recursive to compare the replays in it"));
        continue;
      }
      const myzor::FolderScan scan = myzor::ScanFolder(path);
      for (const myzor::ScanProblem& skipped : scan.problems)
        problem(path, myzor_tools::ScanProblemText(skipped));
      for (const myzor::FileEntry& entry : scan.files) add(entry);
      continue;
    }
    myzor::FileEntry entry;
    errno = 0;
    if (!myzor::StatFile(path, entry)) {
      problem(path, errno != 0 ? QString::fromLocal8Bit(std::strerror(errno))
                               : QStringLiteral("not a regular file"));
      continue;
    }
    add(entry);
  }

  const myzor::DuplicateSearch search = myzor::FindDuplicateFiles(files);
  for (const auto& [path, message] : search.problems) problem(path, message);
  for (const myzor::DuplicateGroup& group : search.groups) {
    if (parser.isSet(json)) {
      Json object;
      object["size"] = group.size;
      object["sha256"] = group.sha256.toHex().toStdString();
      Json names = Json::array();
      for (const myzor::FileEntry& file : group.files) names.push_back(file.path.toStdString());
      object["files"] = std::move(names);
      writeLine(object.dump(-1, ' ', false, Json::error_handler_t::replace));
    } else {
      writeLine(QStringLiteral("%1 files of %2 bytes, sha256 %3:")
                    .arg(group.files.size())
                    .arg(group.size)
                    .arg(QString::fromLatin1(group.sha256.toHex()))
                    .toStdString());
      for (const myzor::FileEntry& file : group.files) writeLine("  " + file.path.toStdString());
    }
  }
  std::fflush(stdout);
  return g_failed ? 1 : 0;
}
