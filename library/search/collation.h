// Sort keys for the table's texts: byte strings that compare, with memcmp,
// as the user's language orders the texts, numbers in them by value and
// letter case ignored ("map 9" before "Map 10").
#pragma once

#include <QString>
#include <string>

struct UCollator;

namespace myzor {

class Collation {
 public:
  // The user's locale; the C locale sorts as English does.
  Collation();
  ~Collation();
  Collation(const Collation&) = delete;
  Collation& operator=(const Collation&) = delete;

  // Appends the key of `text` to `out`. Not to be shared between threads:
  // each thread makes a Collation of its own.
  void appendKey(const QString& text, std::string& out) const;

 private:
  UCollator* m_collator = nullptr;  // null where ICU's data cannot be loaded
};

}  // namespace myzor
