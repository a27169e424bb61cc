// The run-time's file-name conventions that several commands share: folders end
// at a slash, a backslash or a drive colon; an extension is a point after them.
#pragma once

#include <string>

namespace talvor {

// True when the name names a folder (or drive) before its last part.
bool hasFolder(const std::string& name);
// True when the last part of the name has a point.
bool hasExtension(const std::string& name);
// The name without the extension of its last part.
std::string withoutExtension(const std::string& name);
// The last part of the name without its extension ("c:\data\Metkit.ntx" gives "Metkit").
std::string baseName(const std::string& name);

}  // namespace talvor
