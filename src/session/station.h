// A production station: on each of its ports on its own, wait for a device
// to answer, program it (once: the same device left connected is not
// programmed again), record it, wait until it is gone, and on to the next;
// until stopped or until enough devices were programmed in all. A loop of
// the session's runs, for a jig of a few serial adapters.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "session/device_record.h"
#include "session/device_run.h"

namespace tolvane {

struct StationRequest {
  std::vector<std::string> Ports;      // the names to open (system ports or built-in devices)
  std::vector<std::string> Labels;     // as status and records name them
  const FirmwareFile* File = nullptr;  // admitted for writing already
  RunOptions Options;                  // of each device's write (RunAfterWrite: start its firmware after a good one)
  int32_t Count = 0;                   // stop once this many were programmed well in all (0: until stopped)
  IRecordSink* Report = nullptr;       // where each record goes (null: nowhere)
  const std::atomic<bool>* Stop = nullptr;  // a flag a blocked write watches (the user's stop)
};

enum class StationState {
  Waiting,      // for a device to answer
  Programming,  // writing and verifying it
  Done,         // programmed well; waiting for it to be taken away
  Failed,       // its attempt failed; waiting for it to be taken away
  SameDevice,   // the device just programmed is still connected
  PortLost,     // the port failed; opened again once it can be
  Stopped,      // the port's work is over
};

struct StationPortStatus {
  StationState State = StationState::Waiting;
  RunProgress Progress;   // while programming
  double Seconds = 0;     // since the state began
  DeviceIdentity Device;  // the device being programmed, or the last one
  std::string Reason;     // failed, port lost: why (one line)
};

struct StationTotals {
  int32_t Ok = 0;
  int32_t Failed = 0;  // failed or different after the write
  int32_t Interrupted = 0;
};

// What the station tells while it works, from each port's thread; and
// whether the user stopped it.
class IStationReporter {
 public:
  virtual ~IStationReporter() = default;
  virtual void PortChanged(size_t port, const StationPortStatus& status) = 0;
  // A device's attempt has ended (its record written, or not: recordError).
  virtual void DeviceEnded(size_t port, const DeviceRecord& record, const StationTotals& totals,
                           const std::string& recordError) = 0;
  virtual bool StopRequested() = 0;
};

struct StationResult {
  StationTotals Totals;
  std::vector<DeviceRecord> Records;  // every attempt, in the order they ended
  std::string RecordError;            // a record that could not be written stopped the station
  std::string OpenError;              // a port that could not be opened at the start: nothing was done
  int ExitCode = 0;                   // 0 count reached, 5 stopped, 4 a record lost, 3 a port not opened
};

StationResult RunStation(const StationRequest& request, IStationReporter& reporter);

}  // namespace tolvane
