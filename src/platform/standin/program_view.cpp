#include "platform/standin/program_view.h"

#include "platform/registry.h"
#include "platform/standin/registry_db.h"

namespace korin::standin {

std::string ProgramView::hostPath(const std::wstring& path) const {
    return machine_.hostPath(path, wow64_ && wow64RedirectionEnabled());
}

std::wstring ProgramView::keyPath(bool localMachine, const std::wstring& subKey,
                                  std::uint32_t access) const {
    return canonicalKeyPath(localMachine, subKey, wow64_ && (access & kKeyWow64_64Key) == 0);
}

}  // namespace korin::standin
