// korin-publish: writes the manifests of an update server tree from a short
// description of the offered versions.
//
//   korin-publish DESCRIPTION OUTPUT-DIR [--installer FILE] [--patch-installer FILE]
//                 [--signer CERT --signer-key KEY [--certs PEM]]
//
// With --installer, every folder that offers a type also gets the type's
// full package (install/install_all_win_<tag>_sgn.z), and every patch its
// patch package (install/patch/<PATCH-FOLDER>/patch_all_win_<tag>_sgn.z):
// FILE (the patch's FILE for patches, by default the same) signed with
// tools/sign-package/sign-package by the signer named (a release signer,
// carrying the intermediate certificates of --certs), or else by one issued
// for the run under the development authority.
//
// The description, one statement a line ('#' starts a comment):
//   major N | majorBeta N | loudVer V | loudVerBeta V | checkFrequency DAYS
//   offer TYPE release|beta VERSION [MINVER]
//   patch TYPE release|beta FOLDER PATCH-FOLDER HASH32 HASH64
// TYPE is ActiveX, Plugin or Pepper. Every folder a player of a channel can
// be sent to (the channel's current major, the major before it, the newest
// version's text, and every FOLDER of a patch) gets xml/version.xml and
// xml/patch.xml.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Offer {
    std::string type, version, minVer;
};
struct Patch {
    std::string type, folder, patchFolder, hash32, hash64;
};
struct Channel {
    std::string major;
    std::string newest;
    std::vector<Offer> offers;
    std::vector<Patch> patches;
};

bool write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out.flush());
}

std::string versionAttributes(const std::string& version) {
    std::string parts[4] = {"0", "0", "0", "0"};
    std::istringstream in(version);
    for (std::string& part : parts) {
        if (!std::getline(in, part, '.')) {
            break;
        }
    }
    return "major=\"" + parts[0] + "\" minor=\"" + parts[1] + "\" buildMajor=\"" + parts[2] +
           "\" buildMinor=\"" + parts[3] + "\"";
}

constexpr char kHeader[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

std::string versionManifest(const Channel& channel, const std::string& frequency) {
    std::string text = std::string(kHeader) + "<version>\n";
    for (const Offer& offer : channel.offers) {
        text += "  <" + offer.type + " " + versionAttributes(offer.version);
        if (!offer.minVer.empty()) {
            text += " minVer=\"" + offer.minVer + "\"";
        }
        text += "/>\n";
    }
    return text + "  <SAUConfig checkFrequency=\"" + frequency + "\"/>\n</version>\n";
}

std::string patchManifest(const Channel& channel, const std::string& folder) {
    std::string text = kHeader;
    int entries = 0;
    for (const Patch& patch : channel.patches) {
        if (patch.folder == folder) {
            text += "<patch>\n  <" + patch.type + " hash32=\"" + patch.hash32 + "\" hash64=\"" +
                    patch.hash64 + "\" path=\"" + patch.patchFolder + "\"/>\n</patch>\n";
            ++entries;
        }
    }
    return entries == 0 ? text + "<patch/>\n" : text;
}

const std::map<std::string, std::string> kPackageTags{
    {"ActiveX", "ax"}, {"Plugin", "pl"}, {"Pepper", "pep"}};

std::string shellQuoted(const std::string& text) {
    std::string result = "'";
    for (char c : text) {
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return result + "'";
}

// Signs installers with the signer named, or under the development authority
// with a signer issued for this run; each installer is signed once and copied
// where it is served.
class PackageSigner {
  public:
    PackageSigner(fs::path work, std::string cert, std::string key, std::string certs)
        : work_(std::move(work)),
          cert_(std::move(cert)),
          key_(std::move(key)),
          certs_(std::move(certs)) {}

    bool ready() {
        fs::create_directories(work_);
        if (!cert_.empty()) {
            return true;
        }
        cert_ = (work_ / "signer.pem").string();
        key_ = (work_ / "signer.key").string();
        std::cerr << "korin-publish: packages signed under the development authority: only "
                     "development builds accept them\n";
        return run("issue --subject '/CN=Korin Player Publisher (development)' --out-cert " +
                   shellQuoted(cert_) + " --out-key " + shellQuoted(key_));
    }

    bool publish(const std::string& installer, const fs::path& package) {
        auto [found, inserted] = signed_.emplace(installer, fs::path());
        if (inserted) {
            found->second = work_ / ("package" + std::to_string(signed_.size()) + ".p7");
            if (!run("sign --signer " + shellQuoted(cert_) + " --key " + shellQuoted(key_) +
                     (certs_.empty() ? "" : " --certs " + shellQuoted(certs_)) + " " +
                     shellQuoted(installer) + " " + shellQuoted(found->second.string()))) {
                signed_.erase(found);
                return false;
            }
        }
        fs::create_directories(package.parent_path());
        std::error_code error;
        fs::copy_file(found->second, package, fs::copy_options::overwrite_existing, error);
        return !error;
    }

  private:
    bool run(const std::string& arguments) {
        const std::string command = shellQuoted(KORIN_SIGN_PACKAGE) + " " + arguments + " >&2";
        return std::system(command.c_str()) == 0;
    }
    fs::path work_;
    std::string cert_, key_, certs_;
    std::map<std::string, fs::path> signed_;
};

int fail(const std::string& why) {
    std::cerr << "korin-publish: " << why << "\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> options{{"--installer", ""},
                                               {"--patch-installer", ""},
                                               {"--signer", ""},
                                               {"--signer-key", ""},
                                               {"--certs", ""}};
    for (int i = 3; i + 1 < argc; i += 2) {
        const auto option = options.find(argv[i]);
        if (option == options.end()) {
            return fail(std::string("unknown option ") + argv[i]);
        }
        option->second = argv[i + 1];
    }
    const std::string installer = options["--installer"];
    std::string patchInstaller = options["--patch-installer"];
    const bool signerNamed = !options["--signer"].empty() || !options["--signer-key"].empty() ||
                             !options["--certs"].empty();
    if (argc < 3 || argc % 2 == 0 || (!patchInstaller.empty() && installer.empty()) ||
        (signerNamed &&
         (installer.empty() || options["--signer"].empty() || options["--signer-key"].empty()))) {
        return fail(
            "usage: korin-publish DESCRIPTION OUTPUT-DIR [--installer FILE] "
            "[--patch-installer FILE] [--signer CERT --signer-key KEY [--certs PEM]]");
    }
    if (patchInstaller.empty()) {
        patchInstaller = installer;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        return fail(std::string("cannot read ") + argv[1]);
    }
    std::map<std::string, Channel> channels{{"release", {}}, {"beta", {}}};
    std::string frequency = "1";
    const std::set<std::string> types{"ActiveX", "Plugin", "Pepper"};
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::vector<std::string> w;
        for (std::string word; words >> word;) {
            w.push_back(word);
        }
        const std::string where = "line " + std::to_string(number) + ": ";
        if (w.empty()) {
            continue;
        } else if (w.size() == 2 && w[0] == "major") {
            channels["release"].major = w[1];
        } else if (w.size() == 2 && w[0] == "majorBeta") {
            channels["beta"].major = w[1];
        } else if (w.size() == 2 && w[0] == "loudVer") {
            channels["release"].newest = w[1];
        } else if (w.size() == 2 && w[0] == "loudVerBeta") {
            channels["beta"].newest = w[1];
        } else if (w.size() == 2 && w[0] == "checkFrequency") {
            frequency = w[1];
        } else if ((w.size() == 4 || w.size() == 5) && w[0] == "offer" && types.count(w[1]) &&
                   channels.count(w[2])) {
            channels[w[2]].offers.push_back({w[1], w[3], w.size() == 5 ? w[4] : ""});
        } else if (w.size() == 7 && w[0] == "patch" && types.count(w[1]) && channels.count(w[2])) {
            channels[w[2]].patches.push_back({w[1], w[3], w[4], w[5], w[6]});
        } else {
            return fail(where + "cannot read '" + line + "'");
        }
    }
    const Channel& release = channels["release"];
    const Channel& beta = channels["beta"];
    if (release.major.empty() || beta.major.empty()) {
        return fail("major and majorBeta are needed");
    }
    const fs::path sau = fs::path(argv[2]) / "pub/korinplayer/update/current/sau";
    std::string player = "major=\"" + release.major + "\" majorBeta=\"" + beta.major + "\"";
    if (!release.newest.empty()) {
        player += " loudVer=\"" + release.newest + "\"";
    }
    if (!beta.newest.empty()) {
        player += " loudVerBeta=\"" + beta.newest + "\"";
    }
    PackageSigner signer(fs::path(argv[2]) / ".signing", options["--signer"],
                         options["--signer-key"], options["--certs"]);
    if (!installer.empty() && !signer.ready()) {
        return fail("cannot issue a signer certificate");
    }
    bool ok = write(sau / "currentmajor.xml",
                    std::string(kHeader) + "<version>\n  <Player " + player + "/>\n</version>\n");
    for (const auto& [name, channel] : channels) {
        std::set<std::string> folders{channel.major, std::to_string(std::stol(channel.major) - 1)};
        if (!channel.newest.empty()) {
            folders.insert(channel.newest);
        }
        for (const Patch& patch : channel.patches) {
            folders.insert(patch.folder);
        }
        for (const std::string& folder : folders) {
            const fs::path base = sau / (folder + (name == "beta" ? "/beta" : ""));
            ok = write(base / "xml/version.xml", versionManifest(channel, frequency)) && ok;
            ok = write(base / "xml/patch.xml", patchManifest(channel, folder)) && ok;
            if (!installer.empty()) {
                for (const Offer& offer : channel.offers) {
                    ok = signer.publish(installer, base / "install" /
                                                       ("install_all_win_" +
                                                        kPackageTags.at(offer.type) + "_sgn.z")) &&
                         ok;
                }
                for (const Patch& patch : channel.patches) {
                    if (patch.folder == folder) {
                        ok = signer.publish(
                                 patchInstaller,
                                 base / "install/patch" / patch.patchFolder /
                                     ("patch_all_win_" + kPackageTags.at(patch.type) + "_sgn.z")) &&
                             ok;
                    }
                }
            }
            std::cout << "published " << fs::relative(base, argv[2]).generic_string() << "\n";
        }
    }
    if (!installer.empty()) {
        fs::remove_all(fs::path(argv[2]) / ".signing");
    }
    return ok ? 0 : 1;
}
