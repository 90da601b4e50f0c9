#include "library/core/read_row.h"

#include <atomic>
#include <exception>
#include <filesystem>

#include "library/core/folder_scan.h"
#include "replay/metadata.h"

namespace myzor {
namespace {

std::atomic<qint64> g_files_read{0};

}  // namespace

qint64 ReplayFilesRead() { return g_files_read.load(); }

ReplayRow ReadRow(const QByteArray& root, const FileEntry& file) {
  g_files_read.fetch_add(1, std::memory_order_relaxed);
  const QString relative = RelativePath(root, file.path);
  try {
    const zor_rep_reader::ReplayMetadata metadata = zor_rep_reader::ReadReplayMetadata(
        std::filesystem::path(file.path.toStdString()), [](const std::string&) {});
    return MakeRow(file, relative, metadata.replay);
  } catch (const zor_rep_reader::ReaderError& error) {
    return MakeErrorRow(file, relative, error);
  } catch (const std::exception& error) {
    // Out of memory and the like: the file keeps its row all the same.
    ReplayRow row;
    row.file = file;
    row.relative_path = relative;
    row.ok = false;
    row.error_kind = QStringLiteral("file");
    row.error_message =
        QStringLiteral("%1: %2").arg(DisplayName(file.path), QString::fromLocal8Bit(error.what()));
    return row;
  }
}

}  // namespace myzor
