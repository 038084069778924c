#include "result_lines.h"

#include <cstdio>

#include "protocol/link_constants.h"
#include "session/exit_codes.h"

namespace tolvane::cli {
namespace {

std::string AreaLine(const char* area, int32_t count, int32_t firstAddress) {
  char text[160];
  std::snprintf(text, sizeof text, "%s: %d %s, the first at 0x%04X", area, count,
                count == 1 ? "byte differs" : "bytes differ", static_cast<unsigned>(firstAddress));
  return text;
}

}  // namespace

std::vector<std::string> DifferenceLines(const CompareCounts& c) {
  std::vector<std::string> lines;
  if (c.UserMismatches > 0) lines.push_back(AreaLine("user area", c.UserMismatches, c.FirstUserMismatch));
  if (c.ConfigurationMismatches > 0) {
    lines.push_back(AreaLine("configuration / identifiers", c.ConfigurationMismatches,
                             AddressOfOffset(c.FirstConfigurationMismatch).value_or(0)));
  }
  if (c.MonitorMismatches > 0)
    lines.push_back(AreaLine("monitor area (not written)", c.MonitorMismatches, c.FirstMonitorMismatch));
  if (!c.ConfigurationCompared) lines.push_back("configuration / identifiers: not compared (the file sets none)");
  return lines;
}

std::vector<std::string> ResultLines(const RunResult& r) {
  std::vector<std::string> lines;
  if (!r.OpenError.empty()) {
    lines.push_back("cannot open the port: " + r.OpenError);
    return lines;
  }
  if (r.CaptureInterrupted && r.Kind != RunKind::Capture) {
    lines.push_back(r.WaitedSeconds > 0
                        ? "interrupted while waiting for the monitor: only capture bursts and probes were sent"
                        : "interrupted while capturing: only capture bursts (0xCD) were sent, no command");
    return lines;
  }
  if (!r.NoMonitor.empty()) {
    lines.push_back(r.NoMonitor);
    return lines;
  }
  const int code = ExitCodeOf(r);
  switch (r.Kind) {
    case RunKind::Write:
      if (!r.BackupPath.empty()) lines.push_back("backup: " + r.BackupPath);
      if (r.Write.BlocksSent > 0 || r.Options.ChangedOnly) {
        lines.push_back("blocks sent: " + std::to_string(r.Write.BlocksSent) +
                        ", protected: " + std::to_string(r.Write.ProtectedBlocks));
      }
      if (r.Options.ChangedOnly)
        lines.push_back("already right: " + std::to_string(r.Write.BlocksAlreadyRight) +
                        " (the monitor area's blocks are not sent)");
      if (!r.Options.Keep.empty()) {
        std::string kept;
        char range[40];
        for (const FlashRange& k : r.Options.Keep) {
          std::snprintf(range, sizeof range, "%s0x%04X-0x%04X", kept.empty() ? "" : ", ",
                        static_cast<unsigned>(k.Begin), static_cast<unsigned>(k.End - 1));
          kept += range;
        }
        lines.push_back("kept the device's data at " + kept);
      }
      [[fallthrough]];
    case RunKind::Verify:
      if (r.Compared) {
        for (std::string& line : DifferenceLines(r.Compare)) lines.push_back(std::move(line));
      }
      break;
    case RunKind::Read:
      if (code == kExitOk) lines.push_back("read " + std::to_string(link::kDeviceReads) + " blocks");
      break;
    case RunKind::Run:
      if (code == kExitOk) lines.push_back("run frame sent: the device starts its firmware");
      break;
    case RunKind::Capture: break;
  }
  if (!r.SlowLine.empty()) lines.push_back(r.SlowLine);
  return lines;
}

}  // namespace tolvane::cli
