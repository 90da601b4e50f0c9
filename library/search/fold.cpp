#include "library/search/fold.h"

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <memory>

namespace myzor {
namespace {

// Marks of every kind go, as they did before ICU did the folding.
constexpr char16_t kFolding[] = u"NFKD; [:Mark:] Remove; Latin-ASCII";

// A transliterator is not safe to share between threads, and rows are
// folded on the library's workers: each thread makes its own. Null where
// ICU's data cannot be loaded.
icu::Transliterator* transliterator() {
  thread_local const std::unique_ptr<icu::Transliterator> instance = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> made(
        icu::Transliterator::createInstance(icu::UnicodeString(kFolding), UTRANS_FORWARD, status));
    return U_SUCCESS(status) ? std::move(made) : nullptr;
  }();
  return instance.get();
}

bool isAscii(const QString& text) {
  for (const QChar c : text) {
    if (c.unicode() >= 0x80) return false;
  }
  return true;
}

// Without ICU's data: what decomposes still folds.
QString withoutMarks(const QString& text) {
  const QString decomposed = text.normalized(QString::NormalizationForm_KD);
  QString out;
  out.reserve(decomposed.size());
  for (const QChar c : decomposed) {
    if (!c.isMark()) out.append(c);
  }
  return out;
}

}  // namespace

QString FoldForSearch(const QString& text) {
  // Most texts (dates, sizes, many names) are ASCII already; ICU is the slow part.
  if (isAscii(text)) return text.toCaseFolded();
  icu::Transliterator* folding = transliterator();
  if (folding == nullptr) return withoutMarks(text).toCaseFolded();
  icu::UnicodeString buffer(reinterpret_cast<const char16_t*>(text.utf16()),
                            static_cast<int32_t>(text.size()));
  folding->transliterate(buffer);
  return QString(reinterpret_cast<const QChar*>(buffer.getBuffer()), buffer.length())
      .toCaseFolded();
}

void AppendFolded(QByteArray& out, QStringView text) {
  const qsizetype start = out.size();
  out.resize(start + text.size());
  char* to = out.data() + start;
  for (const QChar c : text) {
    const char16_t unit = c.unicode();
    if (unit >= 0x80) {
      out.truncate(start);
      out += FoldForSearch(text.toString()).toUtf8();
      return;
    }
    *to++ = static_cast<char>(unit >= 'A' && unit <= 'Z' ? unit + ('a' - 'A') : unit);
  }
}

}  // namespace myzor
