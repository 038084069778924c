// Exit codes that every tolvane-cli command shares. Errors, in this layer:
// every command ends in one of these, with its message on stdout (the
// outcome, as the window would show it) or stderr (usage and file errors).
#pragma once

namespace tolvane::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitDiffers = 1;      // the device differs from the file
inline constexpr int kExitUsage = 2;        // bad command line
inline constexpr int kExitLink = 3;         // device or link failure
inline constexpr int kExitFile = 4;         // file unreadable or suspect
inline constexpr int kExitInterrupted = 5;  // stopped by the user

}  // namespace tolvane::cli
