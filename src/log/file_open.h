// Files named by UTF-8 paths, as every path inside the program is. Windows
// takes its 8-bit file names in the ANSI code page, so there the name goes to
// the system as UTF-16 and a folder with Cyrillic letters opens as well.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace tolvane {

// std::fopen for a UTF-8 path.
std::FILE* OpenFile(const std::string& utf8Path, const char* mode);

// What a name leads to now, through links: nothing yet, a regular file, a
// folder, or something else (a device, a pipe, a socket).
enum class NameKind { Missing, File, Folder, Other };
NameKind KindOfName(const std::string& utf8Path);

// Why a file cannot be written at this name: empty for a regular file or a
// name not taken yet, else the reason ("is a folder", "is no regular
// file ..."), for the name to follow.
std::string NotAFileReason(const std::string& utf8Path);

// std::fopen for a file that is to be a regular one ("rb", "ab", "wb"):
// never blocks in opening (a pipe without its other end, a device), and
// refuses what turns out not to be a regular file (null, errno EINVAL).
std::FILE* OpenRegularFile(const std::string& utf8Path, const char* mode);

// The path of a UTF-8 name, for std::filesystem. Never throws.
std::filesystem::path PathOf(std::string_view utf8Path);

// Pushes what the stream has written through to the disk, so that a power cut
// after it loses nothing. False when the system refused.
bool SyncFile(std::FILE* file);

// The length of an open file, and the file cut back to a length (what an
// append that failed half way wrote is taken away again). -1 / false when
// the system refused.
int64_t FileLength(std::FILE* file);
bool CutFile(std::FILE* file, int64_t length);

// Writes a whole file so that it is either complete or as it was: into a
// temporary file beside it, synced, then renamed over the old one (a full
// disk never destroys a good earlier file). A name that is a symbolic link
// writes its target; one that is no regular file (a device, a pipe) is
// written in place. False with the system's reason.
bool WriteWholeFile(const std::string& utf8Path, std::string_view content, std::string* error);

// True when both names lead to one file (through links, too), or would
// once it is made.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace tolvane
