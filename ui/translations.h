// The window's texts in the user's language; English plurals at least.
#pragma once

class QCoreApplication;

// Installs the translations into `app`; call once, before any window is made.
void InstallTranslations(QCoreApplication& app);
