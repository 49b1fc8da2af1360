// Exit statuses of the command line, documented in --help and the README.
#pragma once

namespace kw {

constexpr int kExitSuccess = 0;
constexpr int kExitExportFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSceneUnreadable = 3;
constexpr int kExitStrictWarnings = 4;

}  // namespace kw
