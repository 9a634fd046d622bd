// A fresh folder for one test, named in the engine's Windows form and in the form the
// standard library opens, plus paths that cannot exist on the machine.
#pragma once

#include <filesystem>
#include <string>

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // The folder itself, or a path below it ("a\\b"), in the engine's form.
  std::string engine(const std::string& relative = "") const;
  // The same in the form the standard library opens.
  std::filesystem::path native(const std::string& relative = "") const;
  // The root of the drive the folder is on ("Z:\" on Linux).
  std::string driveRoot() const;

 private:
  std::filesystem::path folder_;
};

// A drive path on a drive letter that does not exist here.
std::string missingDrivePath();
// A UNC path on a server that cannot be reached.
std::string unreachableUncPath();
