#include "rdd/file_names.h"

namespace talvor {

namespace {
constexpr char kSeparators[] = "/\\:";

// The position of the point that starts the extension, or npos.
std::size_t extensionAt(const std::string& name) {
  const std::size_t folder = name.find_last_of(kSeparators);
  const std::size_t dot = name.find_last_of('.');
  return dot != std::string::npos && (folder == std::string::npos || dot > folder) ? dot : std::string::npos;
}
}  // namespace

bool hasFolder(const std::string& name) { return name.find_first_of(kSeparators) != std::string::npos; }

bool hasExtension(const std::string& name) { return extensionAt(name) != std::string::npos; }

std::string withoutExtension(const std::string& name) { return name.substr(0, extensionAt(name)); }

std::string baseName(const std::string& name) {
  const std::size_t folder = name.find_last_of(kSeparators);
  return withoutExtension(folder == std::string::npos ? name : name.substr(folder + 1));
}

}  // namespace talvor
