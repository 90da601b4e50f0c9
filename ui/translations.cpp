#include "ui/translations.h"

#include <QCoreApplication>
#include <QTranslator>

void InstallTranslations(QCoreApplication& app) {
  // The plural forms of the "%n" texts; a text it lacks stays as written.
  auto* plurals = new QTranslator(&app);
  if (plurals->load(QStringLiteral(":/i18n/myzor_en.qm")))
    QCoreApplication::installTranslator(plurals);
  else
    delete plurals;
}
