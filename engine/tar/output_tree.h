// The files and folders an extraction makes under its output root. Nothing is written
// through a link: a link at a member's path is replaced, and a folder of a member's path
// that is a link (below the root itself) is never followed. The archive being read is
// never replaced. Folders are checked and made once per job, so a member costs time in
// proportion to its own path, not to every path before it.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <unordered_set>

#include "engine/failure_log.h"
#include "engine/platform/platform.h"
#include "engine/test_hooks.h"

namespace untgz {

class OutputTree {
 public:
  // root: the destination folder as the job was given it; archive: the file being read;
  // hooks: the engine's, which may stand in for creating a file.
  OutputTree(const std::string& root, platform::FileId archive, const TestHooks& hooks);

  // The full path of a member's relative path (see memberPath).
  std::string fullPath(const std::string& relative) const { return root_ + relative; }

  // Makes the folder of a directory entry and every folder above it. Nothing when it is
  // there (made now or before), else why it is not.
  std::optional<MemberFailure> makeFolder(const std::string& relative);

  // Creates the file of a member, making its folders and replacing a file or link that is
  // at its path (see platform::openOutputFile). False with the reason in `why`.
  bool createFile(const std::string& relative, platform::OutputFile& file, MemberFailure& why);

 private:
  // Makes sure every folder of relative[0, end) is a real folder, making the missing ones.
  std::optional<MemberFailure> makeFolders(const std::string& relative, std::size_t end);
  std::optional<MemberFailure> makeOneFolder(const std::string& relative);
  bool openFile(const std::string& path, bool replace, platform::OutputFile& file) const;

  std::string root_;  // ends with a backslash
  platform::FileId archive_;
  const TestHooks& hooks_;
  // Relative paths of folders found or made by this job (their keys end where the folder's
  // name ends). A folder replaced behind the job's back is caught by the file's own open.
  std::unordered_set<std::string> folders_;
};

}  // namespace untgz
