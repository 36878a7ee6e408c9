// Records the installer's command line, working folder and own path, one a
// line, to "installer-record.txt" in its working folder, then exits.

#include "installer/test_installer.h"

#include <filesystem>
#include <fstream>
#include <system_error>

int main() {
    const korin::testing::InstallerFacts facts = korin::testing::installerFacts();
    {
        std::ofstream out("installer-record.tmp", std::ios::binary | std::ios::trunc);
        out << facts.commandLine << "\n" << facts.folder << "\n" << facts.self << "\n";
        if (!out.flush()) {
            return 1;
        }
    }
    // Written under another name and moved, so a reader sees it whole.
    std::error_code error;
    std::filesystem::rename("installer-record.tmp", "installer-record.txt", error);
    return error ? 1 : 0;
}
