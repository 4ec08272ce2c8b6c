#include "app/make_platform.h"

#include "app/console_platform.h"

#ifdef SCENARIO_HAS_WINDOW
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <vector>
#endif

namespace scenc {

#ifdef SCENARIO_HAS_WINDOW
namespace {

namespace fs = std::filesystem;

bool owned_by_root_or_user(const struct stat& st) {
  return st.st_uid == 0 || st.st_uid == ::geteuid();
}

bool writable_by_others(const struct stat& st) {
  return (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

// Why no other user can change what `dir` holds, or nullopt with the
// reason: `dir` and every directory above it are real directories owned by
// root or the user, and none is writable by group or others unless it is
// sticky (as /tmp is: there only an entry's owner may replace it, and the
// entry below is checked in turn). `dir` must be a path without links, as
// the program's own directory is.
std::optional<std::string> unsafe_directory(const fs::path& dir) {
  for (fs::path p = dir;; p = p.parent_path()) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      return p.string() + " is not a directory";
    }
    if (!owned_by_root_or_user(st)) return p.string() + " is another user's";
    if (writable_by_others(st) && (st.st_mode & S_ISVTX) == 0) {
      return p.string() + " is writable by others";
    }
    if (p == p.root_path()) return std::nullopt;
  }
}

// Why `module` may not be loaded, or nullopt when it may: a plain file (not
// a link) owned by root or the user, that only its owner may write, in a
// directory no other user can change.
std::optional<std::string> unsafe_module(const fs::path& module) {
  if (auto reason = unsafe_directory(module.parent_path())) {
    return reason;
  }
  struct stat st {};
  if (::lstat(module.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    return "not a plain file";
  }
  if (!owned_by_root_or_user(st)) return "another user's file";
  if (writable_by_others(st)) return "writable by others";
  return std::nullopt;
}

// The installed module directory that belongs to a program running from
// `program_dir`, when that is an installed bin/ directory that no other
// user may write: PREFIX/lib/<package> beside PREFIX/bin.
std::optional<fs::path> installed_module_dir(const fs::path& program_dir) {
  const fs::path bin = SCENARIO_INSTALLED_BIN_DIR;
  fs::path prefix = program_dir;
  for (auto n = std::distance(bin.begin(), bin.end()); n > 0; --n) {
    prefix = prefix.parent_path();
  }
  if (prefix / bin != program_dir) return std::nullopt;
  struct stat st {};
  if (::lstat(program_dir.c_str(), &st) != 0 || !owned_by_root_or_user(st) ||
      writable_by_others(st)) {
    return std::nullopt;
  }
  return prefix / SCENARIO_INSTALLED_MODULE_DIR;
}

// The window module to load: beside the program (the build tree, a copy
// taken with it), else in the installed module directory. A module that
// exists but might have been put there or changed by another user is never
// loaded, and the run says so. A path, never a bare name: the loader would
// search its own directories.
std::optional<fs::path> window_module(const fs::path& program_dir) {
  std::vector<fs::path> places = {program_dir / SCENARIO_WINDOW_MODULE};
  if (const auto installed = installed_module_dir(program_dir)) {
    places.push_back(*installed / SCENARIO_WINDOW_MODULE);
  }
  for (const fs::path& module : places) {
    struct stat st {};
    if (::lstat(module.c_str(), &st) != 0) continue;
    const auto unsafe = unsafe_module(module);
    if (!unsafe) return module;
    std::fprintf(stderr, "scenario: window module %s not loaded: %s\n",
                 module.c_str(), unsafe->c_str());
  }
  return std::nullopt;
}

}  // namespace
#endif

std::unique_ptr<Platform> make_platform(
    [[maybe_unused]] const std::filesystem::path& program_dir) {
#ifdef SCENARIO_HAS_WINDOW
  // Without a display the window toolkit is never loaded: loading it alone
  // would cost a third of the build. A module that cannot be loaded leaves
  // the console layer, as a display that does not answer does.
  const char* display = std::getenv("DISPLAY");
  if (display != nullptr && *display != '\0') {
    const auto module = window_module(program_dir);
    if (void* loaded = module ? ::dlopen(module->c_str(), RTLD_NOW | RTLD_LOCAL)
                              : nullptr) {
      using Make = Platform* (*)();
      const auto make = reinterpret_cast<Make>(
          ::dlsym(loaded, "scenario_make_window_platform"));
      if (make != nullptr) {
        if (Platform* window = make()) return std::unique_ptr<Platform>(window);
      }
    }
  }
#endif
  return std::make_unique<ConsolePlatform>();
}

}  // namespace scenc
