#include "library/search/fold.h"

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

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

namespace {

// The folded texts of the words a thread has met. A library's texts repeat
// (a few hundred players' names over thousands of rows), and the
// transliteration is by far the dearest part of making a row searchable.
class FoldedWords {
 public:
  const std::string& of(std::u16string_view word) {
    if (const auto found = m_words.find(word); found != m_words.end()) return found->second;
    // Texts that never repeat (games' own names) must not grow it for ever.
    if (m_words.size() >= kMostWords) m_words.clear();
    const QString folded =
        FoldForSearch(QString(reinterpret_cast<const QChar*>(word.data()), qsizetype(word.size())));
    return m_words.emplace(std::u16string(word), folded.toStdString()).first->second;
  }

 private:
  static constexpr std::size_t kMostWords = 1 << 14;
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::u16string_view word) const {
      return std::hash<std::u16string_view>{}(word);
    }
  };
  std::unordered_map<std::u16string, std::string, Hash, std::equal_to<>> m_words;
};

FoldedWords& foldedWords() {
  thread_local FoldedWords words;
  return words;
}

// An ASCII unit as it folds.
char foldedAscii(char16_t unit) {
  return static_cast<char>(unit >= 'A' && unit <= 'Z' ? unit + ('a' - 'A') : unit);
}

}  // namespace

void AppendFolded(QByteArray& out, QStringView text) {
  const qsizetype start = out.size();
  out.resize(start + text.size());
  char* to = out.data() + start;
  qsizetype at = 0;
  for (; at < text.size(); ++at) {
    const char16_t unit = text[at].unicode();
    if (unit >= 0x80) break;
    *to++ = foldedAscii(unit);
  }
  if (at == text.size()) return;
  // From the word the first letter past ASCII is in, word by word: folding
  // changes no letter by what stands beyond a space, so a text folds as its
  // words do, and each word is folded once per thread.
  while (at > 0 && text[at - 1] != u' ') --at;
  out.truncate(start + at);
  const auto* units = reinterpret_cast<const char16_t*>(text.utf16());
  while (at < text.size()) {
    qsizetype end = at;
    bool ascii = true;
    for (; end < text.size() && text[end] != u' '; ++end) ascii &= text[end].unicode() < 0x80;
    if (ascii) {
      for (qsizetype i = at; i < end; ++i) out += foldedAscii(units[i]);
    } else {
      const std::string& folded =
          foldedWords().of(std::u16string_view(units + at, static_cast<std::size_t>(end - at)));
      out.append(folded.data(), qsizetype(folded.size()));
    }
    if (end < text.size()) out += ' ';
    at = end + 1;
  }
}

}  // namespace myzor
