#include "fakes/fake_shell.h"

#include "platform/error_codes.h"

namespace korin::testing {

int FakeShell::deletePath(const std::wstring& path) {
    deletes.push_back(path);
    if (auto error = faults.check("deletePath")) {
        return static_cast<int>(*error);
    }
    if (files_.removeTree(path)) {
        return 0;
    }
    // As the shell answers: a missing file 2, a missing folder above it 124.
    return files_.hasFolder(parentOf(files_.key(path))) ? static_cast<int>(kErrorFileNotFound)
                                                        : kDeInvalidFiles;
}

std::int32_t FakeShell::getFolderPath(int csidl, std::wstring& path) {
    folderRequests.push_back(csidl);
    if (auto error = faults.check("getFolderPath")) {
        return static_cast<std::int32_t>(*error);
    }
    auto found = folders.find(csidl & ~kCsidlFlagCreate);
    if (found == folders.end()) {
        return kEInvalidArg;
    }
    if (!files_.hasFolder(found->second)) {
        if ((csidl & kCsidlFlagCreate) == 0) {
            return kEFail;
        }
        files_.addFolder(found->second);
    }
    path = found->second;
    return kSOk;
}

}  // namespace korin::testing
