// myzor: the replay browser window.
#include "ui/form1.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

namespace {

void setUpParser(QCommandLineParser& parser) {
  parser.setApplicationDescription(
      QStringLiteral("Browses the replay files in testfiles/1.30/ beside the program and shows\n"
                     "their players, map and win conditions. Takes no arguments."));
  parser.addHelpOption();
  parser.addVersionOption();
}

bool hasDisplay(const QStringList& arguments) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
  if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || arguments.contains(QStringLiteral("-platform")))
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
  for (int i = 0; i < argc; ++i)
    raw << QString::fromLocal8Bit(argv[i]);
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
  if (!parser.positionalArguments().isEmpty()) {
    std::fprintf(stderr, "myzor: takes no arguments, got '%s'\nTry 'myzor --help'.\n",
                 qPrintable(parser.positionalArguments().first()));
    return 2;
  }

  Form1 window;
  window.show();
  return QApplication::exec();
}
