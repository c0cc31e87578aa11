#include "platform/memory.h"

#include "platform/ui_services.h"

#include <cstdio>
#include <cstring>
#include <sys/resource.h>

namespace platform {

MemoryStatus memoryStatus() {
  MemoryStatus status;
  if (std::FILE* f = std::fopen("/proc/meminfo", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
      unsigned long long kb = 0;
      if (std::sscanf(line, "MemTotal: %llu kB", &kb) == 1)
        status.totalPhysical = kb * 1024;
      else if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1)
        status.availablePhysical = kb * 1024;
    }
    std::fclose(f);
  }
  rlimit limit{};
  const bool limited =
      getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY;
  // Without an address-space limit the process may use what the machine has.
  status.totalVirtual = limited ? limit.rlim_cur : status.totalPhysical;
  status.availableVirtual =
      limited && limit.rlim_cur < status.availablePhysical ? limit.rlim_cur
                                                           : status.availablePhysical;
  return status;
}

void reportOutOfMemory() {
  ui().messageBox(u"Insufficient memory", std::nullopt, MessageButtons::Ok, MessageIcon::None);
}

} // namespace platform
