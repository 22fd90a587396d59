#include <QApplication>
#include <QStringList>

#include <iostream>
#include <string>
#include <vector>

#include "app/SimApp.h"
#include "app/StartupOptions.h"
#include "platform/SystemResources.h"
#include "platform/Version.h"

int main(int argc, char* argv[]) {
  using namespace varnolt;
  // --help, --version and bad usage answer before Qt starts, so they need no display.
  const StartupRequest early = ParseStartupArguments(WithoutQtOptions(Utf8Arguments(argc, argv)));
  if (early.action == StartupRequest::Action::PrintHelp) {
    ShowStartupText(StartupHelp(), false, std::cout);
    return 0;
  }
  if (early.action == StartupRequest::Action::PrintVersion) {
    ShowStartupText(std::string(VersionText()) + "\n", false, std::cout);
    return 0;
  }
  if (early.action == StartupRequest::Action::Refuse) {
    ShowStartupText("varnolt: " + early.error + "\nTry 'varnolt --help' for the usage.\n", true, std::cerr);
    return 2;
  }

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("VARNOLT"));
  // Lets the desktop match the window to varnolt.desktop and its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("varnolt"));
  // Qt has taken its own options (-platform, -style...) out of the arguments by now.
  std::vector<std::string> args;
  const QStringList arguments = QApplication::arguments();
  for (qsizetype i = 1; i < arguments.size(); ++i) args.push_back(arguments[i].toStdString());
  const StartupRequest request = ParseStartupArguments(args);
  if (request.action == StartupRequest::Action::Refuse) {
    ShowStartupText("varnolt: " + request.error + "\nTry 'varnolt --help' for the usage.\n", true, std::cerr);
    return 2;
  }
  CSimApp simApp;
  simApp.startupFile = QString::fromStdString(request.settingsFile);
  return simApp.InitInstance();
}
