// The narrow byte-port interface that the monitor link speaks through. The real
// serial port implements it; tests drive the link through in-memory fakes.
#pragma once

#include <cstdint>
#include <string>

namespace tolvane {

class IBytePort {
 public:
  virtual ~IBytePort() = default;

  virtual bool IsOpen() const = 0;
  // Sends count bytes. False when the line did not take them all (the
  // reason in LastError) or the port is closed.
  virtual bool Write(const uint8_t* data, int32_t count) = 0;
  // No-wait read: returns at once with what the driver holds (possibly nothing).
  virtual bool Read(uint8_t* buffer, int32_t max, int32_t& received) = 0;
  // Waiting read: gathers exactly `wanted` bytes or gives up once timeoutMs
  // have passed since the call.
  virtual bool ReadTimed(uint8_t* buffer, int32_t wanted, int32_t& received, int32_t timeoutMs) = 0;
  // Takes the pending line errors, counting framing errors; false when the
  // driver did not answer (for instance on a closed port).
  virtual bool ClearLineErrors() = 0;
  // Bytes queued for sending that the line has not carried yet.
  virtual int32_t PendingOutput() const = 0;
  // Drops what is queued for sending and not yet on the line.
  virtual void DiscardOutput() = 0;

  virtual uint32_t LastError() const = 0;            // code of the last failed read or write, 0: none
  virtual int32_t FrameErrors() const = 0;           // framing errors counted since the open
  virtual const std::string& ErrorText() const = 0;  // text of the last failed open
};

}  // namespace tolvane
