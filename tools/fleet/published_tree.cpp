#include "published_tree.h"

#include "platform/standin/network.h"
#include "ground/text.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace korin::fleet {

namespace {

namespace fs = std::filesystem;

// What the test update server answers for a path it does not have.
constexpr char kNotFoundPage[] =
    "<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1></body></html>\n";

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

RequestKind kindOfTarget(const std::string& target) {
    if (endsWith(target, "/sau/currentmajor.xml")) {
        return RequestKind::CurrentMajor;
    }
    if (endsWith(target, "/xml/version.xml")) {
        return RequestKind::VersionManifest;
    }
    if (endsWith(target, "/xml/patch.xml")) {
        return RequestKind::PatchManifest;
    }
    if (target.find("/install/patch/") != std::string::npos) {
        return RequestKind::PatchPackage;
    }
    if (target.find("/install/install_all_win_") != std::string::npos) {
        return RequestKind::FullPackage;
    }
    return RequestKind::Other;
}

const char* kindName(RequestKind kind) {
    static const char* const kNames[] = {"current_major", "version_manifest", "patch_manifest",
                                         "patch_package", "full_package",     "other"};
    return kNames[static_cast<int>(kind)];
}

bool PublishedTree::load(const std::string& root, std::string& error) {
    objects_.clear();
    byTarget_.clear();
    objects_.push_back({"(not in the tree)", RequestKind::Other, kNotFoundPage});
    std::error_code failure;
    if (!fs::is_directory(root, failure)) {
        error = "not a folder: " + root;
        return false;
    }
    for (fs::recursive_directory_iterator it(root, failure), end; !failure && it != end;
         it.increment(failure)) {
        if (!it->is_regular_file()) {
            continue;
        }
        const std::string relative = fs::relative(it->path(), root).generic_string();
        std::ifstream in(it->path(), std::ios::binary);
        std::ostringstream body;
        body << in.rdbuf();
        // Targets as WinHTTP sends the object name and the server logs it.
        TreeObject object;
        object.target = standin::requestTarget(wideFromUtf8("/" + relative));
        object.kind = kindOfTarget(object.target);
        object.body = body.str();
        byTarget_.emplace(object.target, static_cast<std::uint32_t>(objects_.size()));
        objects_.push_back(std::move(object));
    }
    if (failure) {
        error = "cannot read " + root + ": " + failure.message();
        return false;
    }
    objects_.reserve(objects_.size() + kMaxMissingTargets);
    capacity_ = static_cast<std::uint32_t>(objects_.capacity());
    const std::uint32_t currentMajor = find("/pub/korinplayer/update/current/sau/currentmajor.xml");
    if (currentMajor == kMissing) {
        error = root + " holds no pub/korinplayer/update/current/sau/currentmajor.xml";
        return false;
    }
    return true;
}

std::uint32_t PublishedTree::find(const std::string& target) const {
    const auto found = byTarget_.find(target);
    return found == byTarget_.end() ? kMissing : found->second;
}

std::uint32_t PublishedTree::intern(const std::string& target) {
    const std::lock_guard<std::mutex> hold(internLock_);
    const auto found = byTarget_.find(target);
    if (found != byTarget_.end()) {
        return found->second;
    }
    if (objects_.size() == objects_.capacity()) {
        return kMissing;
    }
    const auto id = static_cast<std::uint32_t>(objects_.size());
    objects_.push_back({target, kindOfTarget(target), kNotFoundPage});
    objects_.back().kind = RequestKind::Other;
    byTarget_.emplace(target, id);
    return id;
}

}  // namespace korin::fleet
