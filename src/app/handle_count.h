// SETHANDLECOUNT: asks the system for room for `count` open files by raising the
// soft limit on open files when it is lower (never above the hard limit).
#pragma once

namespace talvor {

// Returns the soft limit now in force (or the count asked for when the limit
// cannot be read); the request is noted in the run settings.
int SETHANDLECOUNT(int count);

}  // namespace talvor
