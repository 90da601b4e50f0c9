// A replay as one line of JSON: what myzor-info --json prints and the
// library's export writes, field for field in the record's order.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "replay/metadata.h"
#include "replay/reader_error.h"

namespace myzor {

using Json = nlohmann::ordered_json;

// {"file", "ok": true, "replay", "actions"} for a file that was read, the
// replay's fields in the record's order and its pictures given by their sizes
// (null where there is none); one line, ending in a newline.
[[nodiscard]] std::string ReadJsonLine(const std::string& file,
                                       const zor_rep_reader::ReplayMetadata& read,
                                       const std::vector<std::string>& actions);
// {"file", "ok": false, "error": {"kind", "offset", "message"}} for one that was not.
[[nodiscard]] std::string ErrorJsonLine(const std::string& file,
                                        const zor_rep_reader::ReaderError& error);

// Reads the file at `path` (its own bytes) without its pictures' pixels and
// gives its line, whichever of the two it is.
[[nodiscard]] std::string FileJsonLine(const std::string& path);

// The object on one line, ending in a newline. File names are bytes and need
// not be UTF-8; bytes that are not become U+FFFD, so the line stays valid JSON.
[[nodiscard]] std::string JsonLine(const Json& object);

}  // namespace myzor
