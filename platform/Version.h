#pragma once

namespace varnolt {

// The version both programs print for --version and bug reports:
// "VARNOLT 1.1.0", followed by "(commit 0123456789ab)" when built from a git
// checkout (", modified" when the checkout had uncommitted changes).

const char* VersionText();

}  // namespace varnolt
