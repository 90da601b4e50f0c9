// The replay files named on a command line: files as given, folders listed
// (with --recursive) in sorted order, each kept by its own bytes.
#pragma once

#include "replay/reader_error.h"
#include "tools/raw_arguments.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace myzor_info {

using zor_rep_reader::ErrorKind;
using zor_rep_reader::ReaderError;
namespace fs = std::filesystem;

struct Input {
  std::string argument;  // as given, or the path found under a folder
  std::optional<ReaderError> early_error;
};

inline std::vector<std::string> RawPositionals(const RawArguments& arguments, const QStringList& positionals) {
  std::vector<std::string> raw;
  for (const QString& argument : positionals) raw.push_back(arguments.raw(argument).toStdString());
  return raw;
}

inline std::vector<Input> ExpandArguments(const std::vector<std::string>& arguments, bool recursive) {
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
    for (auto it = fs::recursive_directory_iterator(
             path, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      std::string extension = it->path().extension().string();
      std::transform(extension.begin(), extension.end(), extension.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      std::error_code file_ec;
      if (extension == ".rec" && it->is_regular_file(file_ec)) found.push_back(it->path().string());
    }
    if (ec)
      inputs.push_back({path, ReaderError(ErrorKind::file, std::nullopt,
                                          path + ": cannot list the folder: " + ec.message())});
    std::sort(found.begin(), found.end());
    for (std::string& file : found) inputs.push_back({std::move(file), std::nullopt});
  }
  return inputs;
}

}  // namespace myzor_info
