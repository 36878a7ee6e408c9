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
          .com = &com_,
          .taskScheduling = &taskScheduling_,
          .random = &random_,
          .console = &console_,
      } {}

}  // namespace korin
