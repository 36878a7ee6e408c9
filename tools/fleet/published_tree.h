#pragma once

// A published update tree (as korin-publish writes it) held in memory once,
// shared read-only by every simulated machine, each object by the request
// target the update server logs for it.

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace korin::fleet {

// What a request asks for: the columns of minutes.csv.
enum class RequestKind : int {
    CurrentMajor = 0,
    VersionManifest,
    PatchManifest,
    PatchPackage,
    FullPackage,
    Other,  // not in the tree: the server's "not found" page
};
inline constexpr int kRequestKinds = 6;

struct TreeObject {
    std::string target;
    RequestKind kind = RequestKind::Other;
    std::string body;
};

class PublishedTree {
  public:
    // Reads every file below root; false with error when root is not a
    // folder or holds no current-major manifest.
    bool load(const std::string& root, std::string& error);

    // The object of a request target, or kMissing.
    std::uint32_t find(const std::string& target) const;
    // The object of a request target; a target the tree does not hold
    // becomes an object of its own answered with the not-found page (safe
    // from several threads; at most kMaxMissingTargets of them, the rest
    // share kMissing).
    std::uint32_t intern(const std::string& target);
    const TreeObject& object(std::uint32_t id) const { return objects_[id]; }
    // Objects so far, a bound for ids handed out.
    std::uint32_t capacity() const { return capacity_; }
    static constexpr std::uint32_t kMissing = 0;
    static constexpr std::uint32_t kMaxMissingTargets = 256;

  private:
    // Reserved whole at load: interning never moves an object.
    std::vector<TreeObject> objects_;
    std::unordered_map<std::string, std::uint32_t> byTarget_;
    std::uint32_t capacity_ = 0;
    std::mutex internLock_;
};

RequestKind kindOfTarget(const std::string& target);
const char* kindName(RequestKind kind);

}  // namespace korin::fleet
