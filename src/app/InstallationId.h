#pragma once
// The identity of this installation for the usage report: a random
// identifier (UUID version 4 text) made once and kept in the file
// "installation_id" of the application data folder. It is never derived from
// hardware or system identifiers; deleting the file makes a new one.
//
// The file is read and written like the other settings files
// (platform/Files.h): nothing here ever blocks. Something that is not a
// regular file under the name (a pipe, a folder, a link to a device) is left
// as it is and gives no identifier; a new identifier goes to a temporary file
// of a fresh name, made exclusively (never through a link, never a pipe),
// then renamed over the name.

#include <string>

namespace qv {

inline constexpr const char* kInstallationIdFile = "installation_id";

// Reads the identifier from folder (ending in "/"), or makes and stores a new
// one when the file is missing or does not hold one. False (with error) when
// the name holds something that is not a regular file, or when no identifier
// could be made or stored.
bool loadOrCreateInstallationId(const std::string& folder, std::string& id, std::string& error);

// A new random identifier; false when the random source fails.
bool makeInstallationId(std::string& id, std::string& error);

// "xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx", lower-case hexadecimal, y in 8..b.
bool isInstallationId(const std::string& text);

}  // namespace qv
