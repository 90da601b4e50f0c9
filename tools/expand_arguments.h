// The replay files named on a command line: files as given, folders listed
// (with --recursive) in sorted order, each kept by its own bytes.
#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "library/core/folder_scan.h"
#include "replay/reader_error.h"
#include "tools/raw_arguments.h"

namespace myzor_info {

using zor_rep_reader::ErrorKind;
using zor_rep_reader::ReaderError;
namespace fs = std::filesystem;

struct Input {
  std::string argument;  // as given, or the path found under a folder
  std::optional<ReaderError> early_error;
};

inline std::vector<std::string> RawPositionals(const RawArguments& arguments,
                                               const QStringList& positionals) {
  std::vector<std::string> raw;
  for (const QString& argument : positionals) raw.push_back(arguments.raw(argument).toStdString());
  return raw;
}

// Appends the replay files in `folder` and the folders below it to `found`,
// in no order. Links are followed to files, not to folders; folders that may
// not be read are passed over. Folders that lie below another are listed on
// threads of their own, as a large archive keeps one folder a month.
inline std::error_code ListReplays(const std::string& folder, std::vector<std::string>& found,
                                   bool split = true) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr)
    return errno == EACCES ? std::error_code() : std::error_code(errno, std::generic_category());
  const std::string prefix = folder.ends_with('/') ? folder : folder + '/';
  std::vector<std::string> below;
  std::error_code ec;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir);
    if (entry == nullptr) {
      if (errno != 0) ec = std::error_code(errno, std::generic_category());
      break;
    }
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    unsigned char type = entry->d_type;
    std::string path = prefix;
    path += name;
    struct stat info {};
    if (type == DT_UNKNOWN)
      type = ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? DT_DIR : DT_LNK;
    if (type == DT_DIR) {
      below.push_back(std::move(path));
    } else if (myzor::IsReplayFileName(QByteArrayView(entry->d_name)) &&
               (type == DT_REG ||
                (type == DT_LNK && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)))) {
      found.push_back(std::move(path));
    }
  }
  ::closedir(dir);
  if (!split || below.size() < 2) {
    for (const std::string& sub : below)
      if (const std::error_code sub_ec = ListReplays(sub, found, split); sub_ec && !ec) ec = sub_ec;
    return ec;
  }
  std::vector<std::vector<std::string>> lists(below.size());
  std::vector<std::error_code> errors(below.size());
  std::atomic<std::size_t> next = 0;
  {
    std::vector<std::jthread> threads;
    const auto count =
        std::min<std::size_t>(below.size(), std::max(1u, std::thread::hardware_concurrency()));
    for (std::size_t t = 0; t < count; ++t)
      threads.emplace_back([&] {
        for (std::size_t i; (i = next++) < below.size();)
          errors[i] = ListReplays(below[i], lists[i], false);
      });
  }
  for (std::size_t i = 0; i < below.size(); ++i) {
    found.insert(found.end(), std::make_move_iterator(lists[i].begin()),
                 std::make_move_iterator(lists[i].end()));
    if (errors[i] && !ec) ec = errors[i];
  }
  return ec;
}

inline std::vector<Input> ExpandArguments(const std::vector<std::string>& arguments,
                                          bool recursive) {
  std::vector<Input> inputs;
  for (const std::string& path : arguments) {
    std::error_code ec;
    if (!fs::is_directory(path, ec)) {
      inputs.push_back({path, std::nullopt});
      continue;
    }
    if (!recursive) {
      inputs.push_back({path, ReaderError(ErrorKind::file, std::nullopt,
                                          path + ": is a folder; use --recursive to read "
                                                 "the replays in it")});
      continue;
    }
    std::vector<std::string> found;
    ec = ListReplays(path, found);
    if (ec)
      inputs.push_back({path, ReaderError(ErrorKind::file, std::nullopt,
                                          path + ": cannot list the folder: " + ec.message())});
    std::sort(found.begin(), found.end());
    for (std::string& file : found) inputs.push_back({std::move(file), std::nullopt});
  }
  return inputs;
}

}  // namespace myzor_info
