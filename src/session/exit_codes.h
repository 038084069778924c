// The exit code of a run, as tolvane-cli ends with it and as a record keeps
// it (the window's runs get the code the same run would get from the
// command line).
#pragma once

namespace tolvane {

inline constexpr int kExitOk = 0;
inline constexpr int kExitDiffers = 1;      // the device differs from the file
inline constexpr int kExitUsage = 2;        // bad command line
inline constexpr int kExitLink = 3;         // device or link failure
inline constexpr int kExitFile = 4;         // file unreadable, suspect or with nothing to write; an output not written
inline constexpr int kExitInterrupted = 5;  // stopped by the user

}  // namespace tolvane
