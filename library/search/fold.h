// How the search compares texts: both the rows' texts and the words typed
// are folded alike.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace myzor {

// `text` as the search compares it: decomposed (NFKD), combining marks
// dropped, Latin letters without a decomposition spelled in ASCII ("Ł" as
// "L", "ß" as "ss", "Æ" as "AE"), case folded; "Ésa" and "esa", "Łucja" and
// "lucja" fold alike. Safe on any thread.
[[nodiscard]] QString FoldForSearch(const QString& text);

// Appends FoldForSearch(text) in UTF-8 to `out`; ASCII text, the most of
// it, goes in byte for byte with no string made on the way.
void AppendFolded(QByteArray& out, QStringView text);

}  // namespace myzor
