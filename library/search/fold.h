// How the search compares texts: both the rows' texts and the words typed
// are folded alike.
#pragma once

#include <QString>

namespace myzor {

// `text` as the search compares it: decomposed (NFKD), combining marks
// dropped, Latin letters without a decomposition spelled in ASCII ("Ł" as
// "L", "ß" as "ss", "Æ" as "AE"), case folded; "Ésa" and "esa", "Łucja" and
// "lucja" fold alike. Safe on any thread.
[[nodiscard]] QString FoldForSearch(const QString& text);

}  // namespace myzor
