#include "library/dupes/dupes.h"

#include <QtConcurrent>
#include <algorithm>
#include <map>
#include <tuple>

#include "library/core/read_row.h"
#include "library/files/file_operations.h"

namespace myzor {
namespace {

// Two byte-identical files have the same record, error included; two files
// with the same record may still differ (in their pictures, say).
QString recordKey(const ReplayRow& row) {
  if (!row.ok)
    return QStringLiteral("error\x1f%1\x1f%2")
        .arg(row.error_kind)
        .arg(row.error_offset.value_or(-1));
  return QStringList{
      row.game,           row.map,     row.players(u"\x1e"), row.teams(),
      row.races(u"\x1e"), row.version, row.win_conditions,   QString::number(row.player_count)}
      .join(QChar(0x1f));
}

template <typename Key, typename Item>
std::vector<std::vector<Item>> sharedBy(const std::vector<Item>& items, Key key) {
  std::map<decltype(key(items.front())), std::vector<Item>> by_key;
  for (const Item& item : items) by_key[key(item)].push_back(item);
  std::vector<std::vector<Item>> shared;
  for (auto& [k, group] : by_key)
    if (group.size() > 1) shared.push_back(std::move(group));
  return shared;
}

}  // namespace

DuplicateSearch FindDuplicates(const std::vector<ReplayRow>& rows,
                               const std::atomic<bool>* cancel) {
  DuplicateSearch search;
  if (rows.empty()) return search;
  std::vector<FileEntry> candidates;
  for (const auto& same_size : sharedBy(rows, [](const ReplayRow& row) { return row.file.size; }))
    for (const auto& same_record : sharedBy(same_size, recordKey))
      for (const ReplayRow& row : same_record) candidates.push_back(row.file);

  struct Hashed {
    FileEntry file;
    QByteArray sha256;
  };
  const std::vector<Hashed> hashed = QtConcurrent::blockingMapped<std::vector<Hashed>>(
      candidates, [cancel](const FileEntry& file) {
        if (cancel != nullptr && cancel->load()) return Hashed{file, {}};
        return Hashed{file, FileSha256(file.path)};
      });
  std::vector<Hashed> read;
  for (const Hashed& one : hashed) {
    if (one.sha256.isEmpty()) {
      if (cancel == nullptr || !cancel->load())
        search.problems.emplace_back(one.file.path, QStringLiteral("cannot be read"));
      continue;
    }
    ++search.files_hashed;
    search.bytes_hashed += one.file.size;
    read.push_back(one);
  }
  if (!read.empty()) {
    for (auto& group :
         sharedBy(read, [](const Hashed& one) { return std::tuple(one.file.size, one.sha256); })) {
      DuplicateGroup& out = search.groups.emplace_back();
      out.size = group.front().file.size;
      out.sha256 = group.front().sha256;
      for (const Hashed& one : group) out.files.push_back(one.file);
      std::sort(out.files.begin(), out.files.end(),
                [](const FileEntry& a, const FileEntry& b) { return a.path < b.path; });
    }
  }
  std::sort(search.groups.begin(), search.groups.end(),
            [](const DuplicateGroup& a, const DuplicateGroup& b) {
              return a.files.front().path < b.files.front().path;
            });
  return search;
}

DuplicateSearch FindDuplicateFiles(const std::vector<FileEntry>& files) {
  if (files.empty()) return {};
  std::vector<FileEntry> shared;
  for (const auto& same_size : sharedBy(files, [](const FileEntry& file) { return file.size; }))
    shared.insert(shared.end(), same_size.begin(), same_size.end());
  const std::vector<ReplayRow> rows = QtConcurrent::blockingMapped<std::vector<ReplayRow>>(
      shared, [](const FileEntry& file) { return ReadRow(QByteArray("/"), file); });
  return FindDuplicates(rows);
}

}  // namespace myzor
