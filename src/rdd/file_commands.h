// The file primitives of the language: handles are small numbers mapped to open
// files (-1 = failure); each function records the last OS error (FERROR()).
#pragma once

#include <string>

#include "rdd/file_system.h"
#include "services/value.h"

namespace talvor {

Value FOPEN(const Value& name, const Value& mode = {});
Value FCREATE(const Value& name);
Value FCLOSE(const Value& handle);
Value FREADSTR(const Value& handle, const Value& count);
Value FWRITE(const Value& handle, const Value& text);
Value FSEEK(const Value& handle, const Value& offset, const Value& origin = {});
Value FERASE(const Value& name);
Value FERROR();
Value FILE(const Value& pattern);
Value __COPYFILE(const Value& source, const Value& target);

// The File behind a handle, or null.
File* fileOfHandle(int handle);

}  // namespace talvor
