// The corvel executable: the Qt application around the client's start-up sequence.
#include <QApplication>
#include <QIcon>

#include "app/client_app.h"
#include "ui/caret_rest.h"
#include "ui/desktop_parts.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("Corvel");
  QGuiApplication::setDesktopFileName("corvel");
  QIcon icon(":/icons/corvel-48.png");
  icon.addFile(":/icons/corvel-256.png");
  QApplication::setWindowIcon(icon);
  // The windows run modally one after another and the tray keeps the client alive.
  QApplication::setQuitOnLastWindowClosed(false);

  corvel::CaretRest caretRest;

  static corvel::ClientState state;
  corvel::DesktopParts parts(state);
  corvel::ClientApp app(state, parts, corvel::FolderEnvironment::FromProcess());
  app.InitInstance();
  return 0;
}
