// tolvane: the desktop programmer.
//   tolvane [--port PORT]... [--sim] [FILE]
// --port offers a device path besides the system's ports (a simulated
// device's pseudo-terminal, say) and chooses the first; FILE is opened at
// start as the open button would open it.
#include <QApplication>
#include <QCommandLineParser>
#include <optional>
#include <string>
#include <vector>

#include "app/start_up.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  tolvane::SetUpApplication();
  QCoreApplication::setApplicationVersion(QStringLiteral(TOLVANE_VERSION));

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Tolvane: writes firmware into a PIC18F26K42 device through its boot monitor."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption port(
      QStringLiteral("port"),
      QStringLiteral("Offer this serial device in the port list and choose it (repeatable: the first is chosen)."),
      QStringLiteral("PORT"));
  parser.addOption(port);
  const QCommandLineOption sim(QStringLiteral("sim"),
                               QStringLiteral("Try it without hardware: start a simulated device and choose it."));
  parser.addOption(sim);
  parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Intel HEX file to open at start."),
                               QStringLiteral("[FILE]"));
  parser.process(app);  // --help and --version end here
  if (parser.positionalArguments().size() > 1) parser.showHelp(2);

  std::vector<std::string> extraPorts;
  for (const QString& path : parser.values(port)) extraPorts.push_back(path.toStdString());
  std::optional<QString> file;
  if (!parser.positionalArguments().isEmpty()) file = parser.positionalArguments().front();
  return tolvane::RunProgram(extraPorts, file, parser.isSet(sim));
}
