#include <QApplication>

#include "app/SimApp.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("VARNOLT"));
  CSimApp simApp;
  return simApp.InitInstance();
}
