// The pieces of choosing a HEX file: the chooser's request, the folder that is
// remembered, the extension that is logged, and the user's warning about a
// damaged file.
#pragma once

#include <QString>
#include <optional>

#include "ui/desktop.h"

namespace tolvane {

struct HexLoadResult;

inline constexpr const char* kOpenSection = "OPEN";
inline constexpr const char* kOpenPathEntry = "PATH";

// Where the chooser starts when no folder is remembered: "d:\data" on
// Windows, the home folder elsewhere.
QString DefaultHexFolder();

// Title, the three filters in order, the default extension.
FileRequest HexFileRequest(const QString& folder);

// The path cut just before the separator in front of the file name. A file at
// the root keeps the root: "D:" for D:\a.hex, "/" for /a.hex.
QString FolderOfPath(const QString& path);

// The text after the last dot of the file name, upper-cased; empty without one.
QString UpperExtensionOf(const QString& path);

// The warning box text for a load that could not be read or stored
// everything; nothing when the load was sound.
std::optional<MessageRequest> LoadWarning(const HexLoadResult& load);

}  // namespace tolvane
