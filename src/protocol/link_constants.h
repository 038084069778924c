// Every byte, length, time-out and burst size of the boot-monitor protocol.
// The link, the procedures and the simulated device all take them from here.
#pragma once

#include <cstdint>

#include "image/firmware_image.h"

namespace tolvane::link {

// Frames ------------------------------------------------------------------

inline constexpr uint8_t kAttention = 0xCD;     // opens every frame; alone: sync and capture
inline constexpr uint8_t kCommandRead = 0xE6;   // read 32 bytes at a 24-bit address
inline constexpr uint8_t kCommandWrite = 0xE7;  // write 64 bytes of flash
inline constexpr uint8_t kCommandRun = 0xEB;    // leave the monitor, start the firmware
inline constexpr uint8_t kSyncTail = 0x00;      // second synchronisation byte

inline constexpr uint8_t kReplyWritten = 0xAA;    // block written
inline constexpr uint8_t kReplyProtected = 0xEE;  // block protected from change

inline constexpr int32_t kAddressSize = 3;                                         // 24 bits, low byte first
inline constexpr int32_t kRequestHeaderSize = 2 + kAddressSize;                    // attention, command, address
inline constexpr int32_t kReadRequestSize = kRequestHeaderSize;                    // 5
inline constexpr int32_t kReadReplySize = 32;                                      // one read block
inline constexpr int32_t kWriteDataSize = 64;                                      // one write block
inline constexpr int32_t kWriteRequestSize = kRequestHeaderSize + kWriteDataSize;  // 69
inline constexpr int32_t kWriteReplySize = 1;
inline constexpr int32_t kRunRequestSize = 2;

// Waits -------------------------------------------------------------------

inline constexpr int32_t kReadTimeoutMs = 1000;  // for the 32 bytes of a read reply
inline constexpr int32_t kWriteTimeoutMs = 300;  // for the one byte of a write reply
inline constexpr int32_t kSyncPauseMs = 10;      // between the two synchronisation bytes
inline constexpr int32_t kSyncDrainSize = 8192;  // input discarded around the first sync byte
// How long the end of a read waits for bytes behind its last reply: a reply
// followed by surplus would have shifted the data (a USB adapter passes bytes
// on within its latency, 16 ms at most by default).
inline constexpr int32_t kSurplusWaitMs = 20;

// Idle traffic ------------------------------------------------------------

// Wire time of a byte: start bit, eight data bits, stop bit (8N1).
inline constexpr int32_t kBitsPerByte = 10;

inline constexpr int32_t kCaptureBurstSize = 8;       // bytes of kAttention per burst
inline constexpr int32_t kCapturePeriodMs = 1;        // how often a burst is asked for
inline constexpr int32_t kReceivePeriodMs = 100;      // receive tick
inline constexpr int32_t kReceiveBufferSize = 16384;  // bytes one receive tick takes at most
inline constexpr int32_t kReceiveLogLimit = 1024;     // bytes one receive log line shows at most
inline constexpr double kThroughputPeriodS = 1.0;     // status figure update, strictly after this

// Walks of the procedures -------------------------------------------------

inline constexpr int32_t kFlashReadBlocks = kFlashSize / kReadReplySize;           // 2048
inline constexpr int32_t kFlashWriteBlocks = kFlashSize / kWriteDataSize;          // 1024
inline constexpr int32_t kRegionReads = kRegionCount;                              // 6
inline constexpr int32_t kDeviceReads = kFlashReadBlocks + kRegionReads;           // 2054
inline constexpr int32_t kMonitorWriteBlocks = kMonitorAreaSize / kWriteDataSize;  // 16

}  // namespace tolvane::link
