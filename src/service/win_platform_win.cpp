#include "service/win_platform_win.h"

namespace korin {

WinPlatform::WinPlatform()
    : platform_{
          .clock = &clock_,
          .files = &files_,
          .registry = &registry_,
          .system = &system_,
          .strings = &strings_,
          .shell = &shell_,
          .http = &http_,
          .cryptoLibraries = &cryptoLibraries_,
          .guids = &guids_,
          .processes = &processes_,
          .serviceControl = &serviceControl_,
          .serviceDispatcher = &serviceDispatcher_,
          .com = &unbuilt_.com,
          .taskScheduling = &unbuilt_.taskScheduling,
          .random = &unbuilt_.random,
          .console = &unbuilt_.console,
      } {}

}  // namespace korin
