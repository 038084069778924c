// What a simulated device is asked to be (its options and faults) and what it
// reports (its state and counters).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "image/firmware_image.h"

namespace tolvane {

// What goes wrong at one command. Commands are the read and write frames the
// device has received since it was created, counted from 1 (run frames and
// ignored bytes do not count, a reset does not restart the count).
enum class SimFaultKind {
  NoAnswer,     // the frame is swallowed: no reply, memory unchanged
  WrongAnswer,  // read: every data byte complemented; write: 0x00 instead of 0xAA, not programmed
  ShortReply,   // read: 31 bytes instead of 32; write: no reply byte, not programmed
  ExtraByte,    // the proper reply followed by one more byte (kSimExtraByte)
  Noise,        // NoiseBytes noise bytes sent ahead of the proper reply
  Vanish,       // the line closes instead of the reply; the device is gone
};

struct SimFault {
  SimFaultKind Kind = SimFaultKind::NoAnswer;
  int32_t AtCommand = 1;
};

// Faults as a command line names them: "no-answer@12", "vanish@1030".
std::string_view SimFaultName(SimFaultKind kind);
std::optional<SimFault> ParseSimFault(std::string_view text);

inline constexpr uint8_t kSimExtraByte = 0xA5;   // value of the surplus byte of ExtraByte
inline constexpr uint8_t kSimFillerByte = 0xFF;  // what unmapped addresses read as

enum class SimSaveFormat { Raw, Hex };

// A board of a jig: what its memory holds when it is switched on, and its
// faults, counted from its switching on.
struct SimJigBoard {
  FirmwareImage Memory;
  std::vector<SimFault> Faults;
};

struct SimulatedDeviceOptions {
  // The line inside the program (OSerialPort reaches it by PortPath() in this
  // process only) instead of a pseudo-terminal; where the system has no
  // pseudo-terminals it always is.
  bool InProcess = false;
  // >=0: the pseudo-terminal's line is also a WebSocket on 127.0.0.1 at this
  // port (0: a free one), for a web page's port; the page has the line while
  // it is connected.
  int32_t WebSocketPort = -1;
  std::string HexFile;           // initial user-area content; empty: erased (0xFF)
  int32_t BaudRate = 0;          // >0: each byte takes 10 bits / BaudRate on the wire, both ways
  int32_t ProgramTimeUs = 0;     // flash programming time of one written block
  int32_t ReplyLatencyUs = 0;    // every reply this much later: a slow adapter (its latency timer)
  std::vector<SimFault> Faults;  // each applies once, at its command
  int32_t NoiseBytes = 3;        // bytes of the Noise fault

  // Capture gating: after a reset the monitor watches the line for
  // CaptureWindowMs; it enters the monitor only when it sees kSimCaptureRun
  // 0xCD bytes in a row there, and otherwise starts the firmware.
  bool RequireCapture = false;
  int32_t CaptureWindowMs = 300;
  // >0: the device starts switched off (silent, deaf) and is switched on, that
  // is reset, this many ms after Start(): the user's power cycle.
  int32_t PowerOnAfterMs = 0;

  // Idle chatter: while in the firmware, or in the monitor with no byte
  // received for ChatterPeriodMs, ChatterText goes out every ChatterPeriodMs.
  int32_t ChatterPeriodMs = 0;
  std::string ChatterText = "tolvane firmware alive\r\n";

  // A jig: boards switched on one after another on the line, each with its
  // own memory (its unique identifier, its old firmware) and faults; empty:
  // one device, as above. A board enters its monitor only when capture bursts
  // come within CaptureWindowMs after it is switched on (RequireCapture is
  // implied), else its firmware runs. HexFile, SetMemory and Faults are then
  // the boards' business.
  std::vector<SimJigBoard> Jig;
  // No board this long between two (the operator swaps them), and before
  // the first once the line hears something.
  int32_t JigGapMs = 300;
  // A board is taken away this long after it is switched on (0: only after
  // the run command), or this long after the run command.
  int32_t JigStayMs = 0;
  int32_t JigAfterRunMs = 200;

  // Memory saved when the device stops (Stop() or destruction); empty: not saved.
  std::string SavePath;
  SimSaveFormat SaveFormat = SimSaveFormat::Raw;
};

inline constexpr int32_t kSimCaptureRun = 4;

// What the device served, for tests and benchmarks to assert on.
struct SimulatedDeviceStats {
  int64_t ReadCommands = 0;     // read frames answered (or faulted)
  int64_t WriteCommands = 0;    // write frames received
  int64_t BlocksWritten = 0;    // writes that changed flash and answered 0xAA
  int64_t BlocksProtected = 0;  // writes refused with 0xEE
  int64_t RunCommands = 0;
  int64_t FaultsInjected = 0;
  int64_t BytesReceived = 0;  // every byte that reached the monitor
  int64_t BytesSent = 0;      // every byte put on the line (replies, noise, chatter)
  int64_t BytesIgnored = 0;   // received bytes that were not part of a frame
  int64_t Resets = 0;
  // How late the last byte of each reply reached the line against its wire
  // time: the pacing's own cost, which the client's timing includes.
  int64_t LateNsMax = 0;
  int64_t LateNsTotal = 0;
  int64_t RepliesTimed = 0;
};

enum class SimState {
  Off,        // waiting for the power-on
  Capturing,  // after a reset, watching for capture bursts
  Monitor,    // answering monitor frames
  Firmware,   // started by the run frame (or a missed capture): monitor frames are ignored
  Vanished,   // the pseudo-terminal is closed
};

}  // namespace tolvane
