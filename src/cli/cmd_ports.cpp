// tolvane-cli ports: the serial ports that are present, in list order, each
// with the name the system shows for its device.
#include "reporter.h"
#include "commands.h"
#include "session/exit_codes.h"
#include "trace_routing.h"

#include "serial/port_list.h"

#include <cstdio>
#include <algorithm>

namespace tolvane::cli {
namespace {

int RunPorts(bool verbose) {
  OSerialPortList list;
  {
    TraceRouting trace(verbose, {});
    list.Enumerate();
  }
  size_t width = 0;
  for (int32_t i = 0; i < list.Count(); ++i) width = std::max(width, list.Entry(i).Name.size());
  for (int32_t i = 0; i < list.Count(); ++i) {
    const PortRecord& port = list.Entry(i);
    PrintResult("%-*s  %s\n", static_cast<int>(width), port.Name.c_str(), port.FriendlyName.c_str());
  }
  return kExitOk;
}

}  // namespace

void SetUpPorts(CLI::App& command) {
  auto verbose = std::make_shared<bool>(false);
  command.add_flag("-v,--verbose", *verbose, "Trace the enumeration (count and time) on stderr");
  command.callback([verbose] { SetExitCode(RunPorts(*verbose)); });
}

}  // namespace tolvane::cli
