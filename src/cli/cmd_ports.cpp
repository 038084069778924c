// tolvane-cli ports: the serial ports that are present, in list order, each
// with the name the system shows for its device.
#include "reporter.h"
#include "commands.h"
#include "device_options.h"
#include "session/exit_codes.h"
#include "trace_routing.h"

#include "serial/port_list.h"

#include <algorithm>
#include <cstdio>

#include <nlohmann/json.hpp>

namespace tolvane::cli {
namespace {

struct PortsOptions {
  bool verbose = false;
  bool json = false;
};

int RunPorts(const PortsOptions& options) {
  OSerialPortList list;
  {
    TraceRouting trace(options.verbose, {});
    list.Enumerate();
  }
  size_t width = 0;
  for (int32_t i = 0; i < list.Count(); ++i) width = std::max(width, list.Entry(i).Name.size());
  for (int32_t i = 0; i < list.Count(); ++i) {
    const PortRecord& port = list.Entry(i);
    PrintResult("%-*s  %s\n", static_cast<int>(width), port.Name.c_str(), port.FriendlyName.c_str());
  }
  if (options.json) {
    nlohmann::ordered_json ports = nlohmann::ordered_json::array();
    for (int32_t i = 0; i < list.Count(); ++i)
      ports.push_back({{"name", list.Entry(i).Name}, {"description", list.Entry(i).FriendlyName}});
    WriteJson(ports);
  }
  return kExitOk;
}

}  // namespace

void SetUpPorts(CLI::App& command) {
  auto options = std::make_shared<PortsOptions>();
  command.add_flag("-v,--verbose", options->verbose, "Trace the enumeration (count and time) on stderr");
  AddJsonOption(command, options->json);
  command.callback([options] {
    SetJsonOutput(options->json);
    SetExitCode(RunPorts(*options));
  });
}

}  // namespace tolvane::cli
