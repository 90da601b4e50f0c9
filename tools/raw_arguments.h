// The command line with each argument's own bytes kept. File names are bytes
// and need not be valid in the locale's encoding; Qt's decoded copies lose
// such bytes, so an argument that does not survive decoding is handed to the
// parser as a placeholder and its bytes are looked up again afterwards.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

struct RawArguments {
  QStringList list;  // for QCommandLineParser::parse
  QHash<QString, QByteArray> placeholders;

  RawArguments(int argc, char* argv[]) {
    for (int i = 0; i < argc; ++i) {
      const QByteArray raw(argv[i]);
      QString decoded = QString::fromLocal8Bit(raw);
      if (decoded.toLocal8Bit() != raw) {
        decoded = QStringLiteral("\uFFFF%1").arg(i);
        placeholders.insert(decoded, raw);
      }
      list.append(decoded);
    }
  }
  // The bytes of an argument the parser handed back.
  [[nodiscard]] QByteArray raw(const QString& argument) const {
    return placeholders.value(argument, argument.toLocal8Bit());
  }
};
