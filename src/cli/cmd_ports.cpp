// tolvane-cli ports: the serial ports that are present, in list order, each
// with the name the system shows for its device.
#include "command_registry.h"
#include "exit_codes.h"

#include "log/console_log.h"
#include "serial/port_list.h"

#include <cstdio>
#include <memory>

namespace tolvane::cli {
namespace {

int RunPorts(bool verbose) {
  std::shared_ptr<LogSink> trace;
  if (verbose) {
    trace = std::make_shared<TerminalSink>(TerminalWantsColor());
    Log().AddSink(trace);
  }
  OSerialPortList list;
  list.Enumerate();
  if (trace) {
    Log().Flush();
    Log().RemoveSink(trace);
  }
  size_t width = 0;
  for (int32_t i = 0; i < list.Count(); ++i) width = std::max(width, list.Entry(i).Name.size());
  for (int32_t i = 0; i < list.Count(); ++i) {
    const PortRecord& port = list.Entry(i);
    std::printf("%-*s  %s\n", static_cast<int>(width), port.Name.c_str(), port.FriendlyName.c_str());
  }
  std::fflush(stdout);
  return kExitOk;
}

const CommandRegistrar kRegisterPorts([](CLI::App& app) {
  auto verbose = std::make_shared<bool>(false);
  CLI::App* ports = app.add_subcommand("ports", "List the serial ports that are present, with their device names");
  ports->add_flag("-v,--verbose", *verbose, "Trace the enumeration (count and time) on stderr");
  ports->callback([verbose] { SetExitCode(RunPorts(*verbose)); });
});

}  // namespace
}  // namespace tolvane::cli
