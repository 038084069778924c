// tolvane: the desktop programmer. An optional argument names a serial device
// to offer besides the system's ports (the simulated device's path, say).
#include <QApplication>
#include <string>
#include <vector>

#include "app/start_up.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  tolvane::SetUpApplication();
  std::vector<std::string> extraPorts;
  for (const QString& argument : QApplication::arguments().mid(1)) extraPorts.push_back(argument.toStdString());
  return tolvane::RunProgram(extraPorts);
}
