#include "app/handle_count.h"

#include <sys/resource.h>

#include "services/runtime.h"

namespace talvor {

int SETHANDLECOUNT(int count) {
  rt().settings.fileHandles = count;
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return count;
  const rlim_t wanted = count < 0 ? 0 : static_cast<rlim_t>(count);
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= wanted)
    return limit.rlim_cur == RLIM_INFINITY ? count : static_cast<int>(limit.rlim_cur);
  rlimit raised = limit;
  raised.rlim_cur = (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < wanted) ? limit.rlim_max
                                                                                 : wanted;
  if (setrlimit(RLIMIT_NOFILE, &raised) != 0) return static_cast<int>(limit.rlim_cur);
  return static_cast<int>(raised.rlim_cur);
}

}  // namespace talvor
