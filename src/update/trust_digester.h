#pragma once

// The manifest readers' file digests bound to the trust subsystem: the update
// run composes the two, so neither folder includes the other.

#include "manifest/player_inventory.h"

namespace korin {

struct Platform;

// PackageTrust::fileDigest behind a FileDigester: one PackageTrust per file,
// as the update cycle uses it.
FileDigester packageTrustDigester(const Platform& platform);

}  // namespace korin
