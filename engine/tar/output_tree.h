// The files and folders an extraction makes under its output root. Every folder is reached
// from the one above it through a held folder (platform::OutputFolder), never by its whole
// path, so a folder renamed or swapped for a link by another process while the job runs
// cannot lead a write elsewhere; a link met on the way is never followed, and a link at a
// member's path is replaced, never written through. The archive being read is never
// replaced. A few folders are held at a time (the ones used last), so memory stays flat
// whatever the number of folders; one that was let go is reached again from above,
// checked again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/tar/failure_log.h"
#include "engine/platform/platform.h"

namespace untgz {

// A member's file while it is written, with the folder that holds it.
struct OpenOutput {
  std::shared_ptr<platform::OutputFolder> folder;
  platform::OutputFile file;
  explicit operator bool() const { return static_cast<bool>(file.stream); }
};

// A file this job wrote earlier under another archive name, which the file system takes as
// the same name as a later member's (letter case, a character mapped to '_'). The later
// member replaces it, and the earlier one is counted as not extracted.
struct ReplacedMember {
  std::string name;
};

class OutputTree {
 public:
  // root: the destination folder as the job was given it (for the length of paths), held
  // open in `folder` (null when it could not be opened: then nothing can be made);
  // archive: the file being read.
  OutputTree(const std::string& root, std::unique_ptr<platform::OutputFolder> folder,
             platform::FileId archive);

  // Makes the folder of a directory entry and every folder above it. Nothing when it is
  // there (made now or before), else why it is not.
  std::optional<MemberFailure> makeFolder(const std::string& relative);

  // Creates the file of member `memberName` at `relative` with the permission bits `mode`
  // (see platform::OutputFolder::createFile), making its folders and replacing a file or
  // link at its path. False with the reason in `why`. `replaced` receives the earlier
  // member of this job that the file takes the place of under another name.
  bool createFile(const std::string& relative, const std::string& memberName, std::int32_t mode,
                  OpenOutput& output, MemberFailure& why, std::optional<ReplacedMember>& replaced);

  // Makes `relative` a hard link to the file at `target` (a path below the root), which
  // this job must have written: a link to anything else could reach a file that is not the
  // archive's. Where the system makes no link, a copy stands in (with `mtime`).
  bool makeHardLink(const std::string& relative, const std::string& memberName, const std::string& target,
                    std::int64_t mtime, std::int32_t nanoseconds, MemberFailure& why,
                    std::optional<ReplacedMember>& replaced);

  // Makes `relative` a symbolic link holding `text`, which leads to `leadsTo` below the
  // root (checked by the caller). Where the system makes no link, a copy of the target
  // stands in when it is a file this job wrote.
  bool makeSymbolicLink(const std::string& relative, const std::string& memberName, const std::string& text,
                        const std::string& leadsTo, std::int64_t mtime, std::int32_t nanoseconds,
                        MemberFailure& why, std::optional<ReplacedMember>& replaced);

  // A directory entry's mode and time, given to its folder once the members inside it
  // are written (a folder that forbids writing must not forbid it before). Archives keep a
  // folder's members together, so the folders waiting are those above the member at hand:
  // a folder is settled as soon as a member outside it comes, and memory stays as small
  // as the depth of the tree.
  void settleFolderLater(const std::string& relative, std::int32_t mode, std::int64_t mtime,
                         std::int32_t nanoseconds);
  // Settles the waiting folders that `relative` is not inside of; every one when empty.
  void settleFoldersOutside(const std::string& relative);
  void settleAllFolders();

  // Closes the member's file (see platform::OutputFolder::closeFile); a file kept whole is
  // remembered as this job's.
  platform::Failure closeFile(OpenOutput& output, bool keep);

 private:
  using Folder = std::shared_ptr<platform::OutputFolder>;

  // The held folder at relative[0, end), reached from the deepest one held above it and
  // made where missing; null with the reason in `why`.
  // Only a folder that is there when `create` is false.
  Folder folderOf(const std::string& relative, std::size_t end, MemberFailure& why, bool create = true);
  Folder heldFolder(const std::string& key);
  void hold(const std::string& key, const Folder& folder);
  // The held folder of a member's path and the member's own name in it.
  Folder parentOf(const std::string& relative, std::string& name, MemberFailure& why, bool create = true);
  // Looks at what is at `name` before something replaces it; false with `why` when it
  // may not be replaced. `replacedId` names a file of this job that goes.
  bool mayReplace(platform::OutputFolder& folder, const std::string& name, const std::string& memberName,
                  MemberFailure& why, std::optional<ReplacedMember>& replaced, platform::FileId& replacedId);
  // Writes a copy of the file `target` (a path below the root) at `relative`.
  bool copyFile(const std::string& relative, const std::string& memberName, const std::string& target,
                std::int64_t mtime, std::int32_t nanoseconds, MemberFailure& why,
                std::optional<ReplacedMember>& replaced);
  bool wroteFile(const std::string& target);

  std::string root_;  // ends with a backslash
  Folder rootFolder_;
  platform::FileId archive_;
  // The folders held, the one used last first; a handful covers the folders an archive
  // writes into at a time (archives keep a folder's members together).
  struct Held {
    std::string key;  // relative path, ending where the folder's name ends
    Folder folder;
  };
  std::vector<Held> held_;

  struct FileIdHash {
    std::size_t operator()(const platform::FileId& id) const {
      return static_cast<std::size_t>(id.index * 0x9E3779B97F4A7C15ull ^ id.volume);
    }
  };
  // The files this job wrote, with the names of the members they hold.
  std::unordered_map<platform::FileId, std::string, FileIdHash> written_;
  std::string writingMember_;  // the member whose file is open

  struct WaitingFolder {
    std::string relative;
    std::int32_t mode;
    std::int64_t mtime;
    std::int32_t nanoseconds;
  };
  std::vector<WaitingFolder> waiting_;  // each inside the one before it
};

}  // namespace untgz
