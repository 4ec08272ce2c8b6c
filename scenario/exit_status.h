// Exit statuses of the scenario program and of scenarioc: the build run's
// four, and the two that only scenarioc's subcommands end with.
#pragma once

namespace scenc::exit_status {

inline constexpr int kClean = 0;
inline constexpr int kFaultRecorded = 1;  // files written all the same
inline constexpr int kErrorExit = 2;      // no binary file written
inline constexpr int kFileFailed = 3;
inline constexpr int kUsageError = 64;     // a command line scenarioc refuses
inline constexpr int kMalformedFile = 65;  // a compiled file that cannot be read

}  // namespace scenc::exit_status
