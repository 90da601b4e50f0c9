#include "library/core/full_read.h"

#include <QFile>
#include <atomic>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

#include "replay/reader_error.h"

namespace myzor {
namespace {

std::atomic<qint64> g_full_reads{0};

QString text(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace

qint64 FullReads() { return g_full_reads.load(); }

FullRead ReadInFull(const QByteArray& path) {
  g_full_reads.fetch_add(1, std::memory_order_relaxed);
  FullRead read;
  read.path = path;
  const std::string name = path.toStdString();
  try {
    read.replay = zor_rep_reader::ReadReplay(
        std::filesystem::path(name),
        [&read](const std::string& line) { read.actions.append(text(line)); });
    read.ok = true;
    return read;
  } catch (const zor_rep_reader::ReaderError& error) {
    read.error_kind = text(zor_rep_reader::errorKindName(error.kind()));
    if (error.offset()) read.error_offset = *error.offset();
    const std::string_view message = error.message();
    read.error_message = text(message);
    const std::string prefix = name + ": ";
    read.error_reason = text(message.starts_with(prefix) ? message.substr(prefix.size()) : message);
  } catch (const std::exception& error) {
    // Out of memory and the like.
    read.error_kind = QStringLiteral("file");
    read.error_reason = QString::fromLocal8Bit(error.what());
    read.error_message = QStringLiteral("%1: %2").arg(QFile::decodeName(path), read.error_reason);
  } catch (...) {
    read.error_kind = QStringLiteral("file");
    read.error_reason = QStringLiteral("unexpected error");
    read.error_message = QStringLiteral("%1: %2").arg(QFile::decodeName(path), read.error_reason);
  }
  read.replay = {};
  return read;
}

}  // namespace myzor
