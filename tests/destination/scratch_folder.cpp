#include "scratch_folder.h"

#include <random>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#endif

#include "common/wine_paths.h"

namespace {

// The engine names Linux files through drive Z:, the way Wine does.
std::string toEngineForm(const std::filesystem::path& path) {
#ifdef _WIN32
  return path.string();
#else
  return untgz::paths::windowsPathOf(path.string());
#endif
}

}  // namespace

ScratchFolder::ScratchFolder() {
  std::random_device random;
  const auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    folder_ = base / ("zax-destination-" + std::to_string(random()));
    if (std::filesystem::create_directory(folder_)) return;
  }
  throw std::runtime_error("no scratch folder could be made under " + base.string());
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::string ScratchFolder::engine(const std::string& relative) const {
  std::string path = toEngineForm(folder_);
  if (!relative.empty()) path += "\\" + relative;
  return path;
}

std::filesystem::path ScratchFolder::native(const std::string& relative) const {
  std::string part = relative;
  for (char& c : part) {
    if (c == '\\') c = '/';
  }
  return part.empty() ? folder_ : folder_ / std::filesystem::path(part).make_preferred();
}

std::string ScratchFolder::driveRoot() const { return engine().substr(0, 3); }

std::string missingDrivePath() {
#ifdef _WIN32
  const DWORD drives = ::GetLogicalDrives();
  for (char letter = 'Y'; letter >= 'B'; --letter) {
    if ((drives & (1u << (letter - 'A'))) == 0) return std::string(1, letter) + ":\\zax-out";
  }
  throw std::runtime_error("every drive letter is in use");
#else
  return "Q:\\zax-out";
#endif
}

std::string unreachableUncPath() { return "\\\\zax-no-such-server.invalid\\share\\out"; }
