#include "library/search/collation.h"

#include <unicode/ucol.h>

#include <QLocale>
#include <algorithm>
#include <cstdint>

namespace myzor {

Collation::Collation() {
  QLocale locale;
  // The C locale compares code points and knows no numbers.
  if (locale.language() == QLocale::C) locale = QLocale(QLocale::English, QLocale::UnitedStates);
  UErrorCode status = U_ZERO_ERROR;
  m_collator = ucol_open(locale.name().toLatin1().constData(), &status);
  if (U_FAILURE(status)) {
    if (m_collator != nullptr) ucol_close(m_collator);
    m_collator = nullptr;
    return;
  }
  // Secondary strength: accents count, letter case does not.
  ucol_setStrength(m_collator, UCOL_SECONDARY);
  ucol_setAttribute(m_collator, UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
}

Collation::~Collation() {
  if (m_collator != nullptr) ucol_close(m_collator);
}

void Collation::appendKey(const QString& text, std::string& out) const {
  if (m_collator == nullptr) {
    // Without ICU: case folded code units, most significant byte first.
    for (const QChar c : text.toCaseFolded()) {
      out.push_back(static_cast<char>(c.unicode() >> 8));
      out.push_back(static_cast<char>(c.unicode() & 0xff));
    }
    return;
  }
  const auto* source = reinterpret_cast<const UChar*>(text.utf16());
  const auto length = static_cast<int32_t>(text.size());
  const std::size_t at = out.size();
  // Room for most keys (a list of names takes a few bytes a letter); a
  // longer one is asked for again at its length.
  const int32_t room = std::max<int32_t>(64, 4 * length + 16);
  out.resize(at + static_cast<std::size_t>(room));
  int32_t needed = ucol_getSortKey(m_collator, source, length,
                                   reinterpret_cast<uint8_t*>(out.data() + at), room);
  if (needed > room) {
    out.resize(at + static_cast<std::size_t>(needed));
    needed = ucol_getSortKey(m_collator, source, length,
                             reinterpret_cast<uint8_t*>(out.data() + at), needed);
  }
  // The key's closing zero byte is left out.
  out.resize(at + static_cast<std::size_t>(needed > 0 ? needed - 1 : 0));
}

}  // namespace myzor
