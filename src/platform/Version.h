// The one version of every program of the project: the window's caption,
// "zveklc --version" and "zveklc-cli --version" all show the top-level
// project's version, major.minor with the minor part in thousandths
// (6.310), which the build passes in.
#pragma once

namespace zvek {

inline constexpr int kVersionThousandths = ZVEKLC_VERSION_THOUSANDTHS;
// "6.310"
inline constexpr const char* kVersionText = ZVEKLC_VERSION;

}  // namespace zvek
