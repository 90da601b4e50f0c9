// myzor: the replay browser window.
#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QPalette>
#include <QSettings>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

#include "library/replay_library.h"
#include "ui/main_window.h"
#include "ui/translations.h"

namespace {

void setUpParser(QCommandLineParser& parser) {
  // Qt's own options are single-dash words (-style, -stylesheet); read as
  // bundled letters, "-stylesheet" would ask for the help.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.setApplicationDescription(QStringLiteral(
      "Browses a folder of replay files: lists every replay below it in a table that\n"
      "sorts and searches, and shows the players, map and win conditions of the one\n"
      "picked.\n"
      "\n"
      "With a FOLDER, opens that folder; with a FILE.rec, opens the file's folder and\n"
      "shows that replay. With neither, opens the folder opened last, or at first\n"
      "testfiles/1.30/ beside the program.\n"
      "\n"
      "Keys in the window (Help > Keyboard shortcuts lists them all):\n"
      "  Ctrl+O         open a folder\n"
      "  Ctrl+F         go to the search field\n"
      "  F9             show or hide the details\n"
      "  F8             show or hide the designed viewer\n"
      "  Ctrl+1, Ctrl+2 show or hide the players, the statistics\n"
      "  Ctrl+Q         quit\n"
      "Keys in the library's table, for the selected replays:\n"
      "  F2             rename by pattern\n"
      "  Delete         move to trash\n"
      "  Ctrl+Z         undo the last rename\n"
      "  Ctrl+E         export the rows shown\n"
      "  Ctrl+Shift+C   copy the path\n"
      "  Menu           all the actions on the selected replays"));
  parser.addPositionalArgument(QStringLiteral("path"),
                               QStringLiteral("A replay folder or a replay file."),
                               QStringLiteral("[FOLDER | FILE.rec]"));
  parser.addOption({QStringLiteral("dark"), QStringLiteral("Shows the window in dark colours.")});
  parser.addHelpOption();
  parser.addVersionOption();
}

// Fusion with dark colours, for desktops that give no dark palette of their own.
void useDarkColours() {
  QApplication::setStyle(QStringLiteral("Fusion"));
  const QColor window(45, 45, 48), base(30, 30, 32), text(230, 230, 230), dim(140, 140, 140);
  QPalette palette;
  palette.setColor(QPalette::Window, window);
  palette.setColor(QPalette::WindowText, text);
  palette.setColor(QPalette::Base, base);
  palette.setColor(QPalette::AlternateBase, window);
  palette.setColor(QPalette::ToolTipBase, QColor(60, 60, 64));
  palette.setColor(QPalette::ToolTipText, text);
  palette.setColor(QPalette::PlaceholderText, dim);
  palette.setColor(QPalette::Text, text);
  palette.setColor(QPalette::Button, window);
  palette.setColor(QPalette::ButtonText, text);
  palette.setColor(QPalette::BrightText, QColor(255, 120, 120));
  palette.setColor(QPalette::Light, QColor(70, 70, 74));
  palette.setColor(QPalette::Midlight, QColor(58, 58, 62));
  palette.setColor(QPalette::Mid, QColor(38, 38, 40));
  palette.setColor(QPalette::Dark, QColor(20, 20, 22));
  palette.setColor(QPalette::Shadow, Qt::black);
  palette.setColor(QPalette::Highlight, QColor(42, 110, 190));
  palette.setColor(QPalette::HighlightedText, Qt::white);
  palette.setColor(QPalette::Link, QColor(110, 170, 255));
  palette.setColor(QPalette::LinkVisited, QColor(170, 140, 255));
  for (const QPalette::ColorRole role :
       {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    palette.setColor(QPalette::Disabled, role, dim);
  QApplication::setPalette(palette);
}

bool hasDisplay(const QStringList& arguments) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
  if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM") ||
      arguments.contains(QStringLiteral("-platform")))
    return true;
  return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
#else
  Q_UNUSED(arguments);
  return true;
#endif
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication::setApplicationName(QStringLiteral("myzor"));
  QCoreApplication::setApplicationVersion(QStringLiteral(MYZOR_VERSION));

  // --help and --version are answered before the window system is touched,
  // so they work without a display.
  QStringList raw;
  for (int i = 0; i < argc; ++i) raw << QString::fromLocal8Bit(argv[i]);
  {
    QCommandLineParser early;
    setUpParser(early);
    (void)early.parse(raw);
    if (early.isSet(QStringLiteral("help"))) {
      // Without an application object the parser cannot know the program's name.
      QString help = early.helpText();
      help.replace(QStringLiteral("<executable_name>"), QStringLiteral("myzor"));
      std::fputs(qPrintable(help), stdout);
      return EXIT_SUCCESS;
    }
    if (early.isSet(QStringLiteral("version"))) {
      std::printf("myzor %s\n", MYZOR_VERSION);
      return EXIT_SUCCESS;
    }
  }
  if (!hasDisplay(raw)) {
    std::fputs("myzor: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are unset)\n",
               stderr);
    return EXIT_FAILURE;
  }

  QApplication app(argc, argv);
  InstallTranslations(app);
  // The desktop entry's name ties the window to its menu entry and icon.
  QGuiApplication::setDesktopFileName(QStringLiteral(MYZOR_APP_ID));
  QIcon icon;
  icon.addFile(QStringLiteral(":/icons/48x48/" MYZOR_APP_ID ".png"));
  icon.addFile(QStringLiteral(":/icons/128x128/" MYZOR_APP_ID ".png"));
  QApplication::setWindowIcon(icon);
  // The application has taken its own options (-platform and the like) out
  // by now; anything left over is a mistake.
  QCommandLineParser parser;
  setUpParser(parser);
  if (!parser.parse(QApplication::arguments())) {
    std::fprintf(stderr, "myzor: %s\nTry 'myzor --help'.\n", qPrintable(parser.errorText()));
    return 2;
  }
  if (parser.isSet(QStringLiteral("dark"))) useDarkColours();
  // ~/.config/myzor/myzor.conf; no organisation name is set, so the cache
  // (the replay index) stays in ~/.cache/myzor.
  QSettings settings(QSettings::UserScope, QStringLiteral("myzor"), QStringLiteral("myzor"));
  auto* library = new myzor::ReplayLibrary(myzor::ReplayIndex::defaultFile());
  // Tags, ratings and notes live beside the journal, in the user's data folder.
  library->useStore(myzor::Journal::defaultFile());
  MainWindow window(library, QString(), settings);
  // A wrong argument is reported in the window's status line; the window opens all the same.
  window.start(parser.positionalArguments());
  window.show();
  return QApplication::exec();
}
