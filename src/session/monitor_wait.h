// Waiting for the device's monitor: capture bursts keep flowing while a
// probe (one read command, of the Device ID region) goes out a few times a
// second, until a complete reply comes, the time is up or the user stops.
// When no monitor answered, what the line carried says why.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "protocol/link.h"
#include "protocol/procedures.h"
#include "session/device_identity.h"
#include "session/run_reporter.h"

namespace tolvane {

// What the line carried while no monitor answered.
enum class LineCarried {
  Nothing,   // no byte at all: no power, no cable, or the wrong port
  OwnBytes,  // our own bytes back: a loopback, or an adapter with nothing behind it
  Traffic,   // text or steady bytes: the firmware runs instead of the monitor
};

enum class WaitEnd { Found, TimedOut, Stopped, PortFailed };

struct WaitResult {
  WaitEnd End = WaitEnd::TimedOut;
  LineCarried Carried = LineCarried::Nothing;
  double Seconds = 0;
  std::optional<ProcedureOutcome> Failure;  // a port that failed while waiting
};

// Probes at once; only when that gets no answer does the reporter hear of
// the wait (Waiting, about once a second), for up to `seconds`.
WaitResult WaitForMonitor(MonitorLink& link, double seconds, IRunReporter& reporter);

// Who the device whose monitor answered is: its identity regions read (a
// synchronisation first). Not Known when a read failed.
DeviceIdentity ReadIdentity(MonitorLink& link);

// Waits until the device is gone: its monitor no longer answers the probes
// (after the run command its firmware does not), or another device answers
// in its place. Capture bursts keep flowing, so that the next device is
// caught as it is switched on. stillThere is called once when the device
// still answers. Gone, Stopped or PortFailed.
enum class DepartureEnd { Gone, Stopped, PortFailed };
DepartureEnd WaitForDeparture(MonitorLink& link, const DeviceIdentity& device, IRunReporter& reporter,
                              const std::function<void()>& stillThere = {});

// The message of a wait that ended without the monitor (Russian, as the
// window shows it), and its line for the command line.
ProcedureOutcome NoMonitorOutcome(const WaitResult& wait);
std::string NoMonitorLine(const WaitResult& wait);

}  // namespace tolvane
