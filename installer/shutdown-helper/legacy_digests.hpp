#pragma once
// The allowed digests of older builds, chosen when the program is built.
#include "installer/shutdown-helper/preflight.hpp"

namespace vorlane::haltgate {

LegacyDigests legacy_build_digests();

}  // namespace vorlane::haltgate
