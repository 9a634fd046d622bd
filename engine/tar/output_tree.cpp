#include "engine/tar/output_tree.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <utility>

#include "common/unique_resource.h"
#include "engine/tar/output_path.h"

namespace untgz {

namespace {

// Enough for the folders an archive fills at once, few enough to stay a handful of
// descriptors and a few pages of memory however many folders it holds.
constexpr std::size_t kHeldFolders = 32;

MemberFailure failureOfFolder(platform::Failure failure) {
  switch (failure) {
    case platform::Failure::noSpace:
      return MemberFailure::diskFull;
    case platform::Failure::nameTooLong:
      return MemberFailure::pathTooLong;
    case platform::Failure::isLink:
      return MemberFailure::linkOnTheWay;
    case platform::Failure::notFolder:
    case platform::Failure::exists:
      return MemberFailure::fileOnTheWay;
    default:
      return MemberFailure::folderNotCreated;
  }
}

MemberFailure failureOfFile(platform::Failure failure) {
  switch (failure) {
    case platform::Failure::noSpace:
      return MemberFailure::diskFull;
    case platform::Failure::nameTooLong:
      return MemberFailure::pathTooLong;
    case platform::Failure::notFolder:
      return MemberFailure::fileOnTheWay;
    case platform::Failure::isFolder:
      return MemberFailure::folderInTheWay;
    case platform::Failure::readOnly:
      return MemberFailure::readOnlyInTheWay;
    case platform::Failure::exists:
      return MemberFailure::notReplaced;
    default:
      return MemberFailure::fileNotCreated;
  }
}

// Whether two member names lead to the same path when read as bytes: "a/b" and "./a//b"
// are one name; "A.txt" and "a.txt", or "f:s" and "f_s", are two.
bool sameName(const std::string& one, const std::string& other) {
  std::string first, second;
  memberPath(one, first);
  memberPath(other, second);
  return first == second;
}

}  // namespace

OutputTree::OutputTree(const std::string& root, std::unique_ptr<platform::OutputFolder> folder,
                       platform::FileId archive)
    : root_(root), rootFolder_(std::move(folder)), archive_(archive) {
  if (root_.empty() || root_.back() != '\\') root_ += '\\';
  held_.reserve(kHeldFolders);
}

std::optional<MemberFailure> OutputTree::makeFolder(const std::string& relative) {
  if (platform::pathTooLong(root_ + relative)) return MemberFailure::pathTooLong;
  MemberFailure why = MemberFailure::folderNotCreated;
  if (!folderOf(relative, relative.size(), why)) return why;
  return std::nullopt;
}

OutputTree::Folder OutputTree::heldFolder(const std::string& key) {
  for (std::size_t i = 0; i < held_.size(); ++i) {
    if (held_[i].key != key) continue;
    // The one used last goes first, where the next member most likely looks.
    if (i != 0) std::rotate(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(i),
                            held_.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    return held_.front().folder;
  }
  return nullptr;
}

void OutputTree::hold(const std::string& key, const Folder& folder) {
  if (held_.size() == kHeldFolders) held_.pop_back();
  held_.insert(held_.begin(), Held{key, folder});
}

OutputTree::Folder OutputTree::folderOf(const std::string& relative, std::size_t end,
                                        MemberFailure& why, bool create) {
  if (!rootFolder_) {
    why = MemberFailure::folderNotCreated;
    return nullptr;
  }
  if (end == 0) return rootFolder_;
  const std::string key = relative.substr(0, end);
  if (Folder folder = heldFolder(key)) return folder;

  // The deepest held folder above it; the path's length is bounded by pathTooLong, so this
  // search stays small.
  Folder folder = rootFolder_;
  std::size_t next = 0;
  // A relative path never starts with a separator, so every separator found is past 0.
  for (std::size_t at = key.rfind('\\'); at != std::string::npos; at = key.rfind('\\', at - 1)) {
    if (Folder above = heldFolder(key.substr(0, at))) {
      folder = above;
      next = at + 1;
      break;
    }
    if (at == 0) break;
  }
  // Down one folder at a time, each opened from the one above it: a link is never followed.
  while (next <= key.size()) {
    std::size_t stop = key.find('\\', next);
    if (stop == std::string::npos) stop = key.size();
    std::unique_ptr<platform::OutputFolder> below;
    bool made = false;
    const platform::Failure failure = folder->openFolder(key.substr(next, stop - next), create, below, made);
    if (failure != platform::Failure::none) {
      why = failureOfFolder(failure);
      return nullptr;
    }
    folder = Folder(std::move(below));
    hold(key.substr(0, stop), folder);
    next = stop + 1;
  }
  return folder;
}

OutputTree::Folder OutputTree::parentOf(const std::string& relative, std::string& name, MemberFailure& why,
                                        bool create) {
  if (platform::pathTooLong(root_ + relative)) {
    why = MemberFailure::pathTooLong;
    return nullptr;
  }
  const std::size_t slash = relative.find_last_of('\\');
  name = slash == std::string::npos ? relative : relative.substr(slash + 1);
  return folderOf(relative, slash == std::string::npos ? 0 : slash, why, create);
}

bool OutputTree::mayReplace(platform::OutputFolder& folder, const std::string& name,
                            const std::string& memberName, MemberFailure& why,
                            std::optional<ReplacedMember>& replaced, platform::FileId& replacedId) {
  switch (folder.entryKind(name)) {
    case platform::EntryKind::directory:
      why = MemberFailure::folderInTheWay;
      return false;
    case platform::EntryKind::file: {
      const platform::FileId id = folder.fileId(name);
      if (id == archive_) {
        why = MemberFailure::isTheArchive;
        return false;
      }
      const auto earlier = written_.find(id);
      if (earlier != written_.end()) {
        replacedId = id;
        if (!sameName(earlier->second, memberName)) replaced = ReplacedMember{earlier->second};
      }
      return true;
    }
    default:
      return true;
  }
}

bool OutputTree::createFile(const std::string& relative, const std::string& memberName, std::int32_t mode,
                            OpenOutput& output, MemberFailure& why,
                            std::optional<ReplacedMember>& replaced) {
  std::string name;
  Folder folder = parentOf(relative, name, why);
  if (!folder) return false;

  // Most members land where nothing is yet: the file is made at once (never over anything:
  // the creation fails when something is there), and what is at the path is looked at only
  // when it fails. That saves a look per file when a fresh folder takes thousands.
  using Replace = platform::OutputFolder::Replace;
  platform::Failure failure = folder->createFile(name, Replace::no, mode, output.file);
  platform::FileId replacedId;
  if (failure == platform::Failure::exists) {
    if (!mayReplace(*folder, name, memberName, why, replaced, replacedId)) return false;
    // Replaced, never opened: writing into an existing file would write through a hard or
    // symbolic link into a file elsewhere. A file this job wrote goes whatever its mode:
    // the later member of a name wins, as in tar.
    failure = folder->createFile(name, replacedId.valid ? Replace::evenReadOnly : Replace::yes, mode, output.file);
  }
  if (failure != platform::Failure::none) {
    why = failureOfFile(failure);
    replaced.reset();
    return false;
  }
  // The file replaced is gone, and the system may give its number to another.
  if (replacedId.valid) written_.erase(replacedId);
  output.folder = std::move(folder);
  writingMember_ = memberName;
  return true;
}

bool OutputTree::wroteFile(const std::string& target) {
  std::string name;
  MemberFailure ignored = MemberFailure::notWritten;
  const Folder folder = parentOf(target, name, ignored, false);
  return folder && folder->entryKind(name) == platform::EntryKind::file &&
         written_.count(folder->fileId(name)) != 0;
}

bool OutputTree::makeHardLink(const std::string& relative, const std::string& memberName,
                              const std::string& target, std::int64_t mtime, std::int32_t nanoseconds,
                              MemberFailure& why, std::optional<ReplacedMember>& replaced) {
  std::string targetName;
  const Folder from = target.empty() ? nullptr : parentOf(target, targetName, why, false);
  if (!from || from->entryKind(targetName) != platform::EntryKind::file ||
      written_.count(from->fileId(targetName)) == 0) {
    why = MemberFailure::linkTargetMissing;
    return false;
  }
  std::string name;
  const Folder folder = parentOf(relative, name, why);
  if (!folder) return false;
  platform::FileId replacedId;
  if (folder->entryKind(name) != platform::EntryKind::missing) {
    // Already the same file (a link given twice): nothing to do.
    if (folder->fileId(name) == from->fileId(targetName)) return true;
    if (!mayReplace(*folder, name, memberName, why, replaced, replacedId)) return false;
  }
  const platform::Failure failure = folder->makeHardLink(name, *from, targetName);
  if (failure == platform::Failure::none) {
    if (replacedId.valid) written_.erase(replacedId);
    return true;
  }
  switch (failure) {
    case platform::Failure::isFolder:
    case platform::Failure::readOnly:
    case platform::Failure::nameTooLong:
    case platform::Failure::noSpace:
      why = failureOfFile(failure);
      replaced.reset();
      return false;
    default:
      // A volume without hard links, or one link too many: the content all the same.
      replaced.reset();
      return copyFile(relative, memberName, target, mtime, nanoseconds, why, replaced);
  }
}

bool OutputTree::makeSymbolicLink(const std::string& relative, const std::string& memberName,
                                  const std::string& text, const std::string& leadsTo, std::int64_t mtime,
                                  std::int32_t nanoseconds, MemberFailure& why,
                                  std::optional<ReplacedMember>& replaced) {
  std::string name;
  const Folder folder = parentOf(relative, name, why);
  if (!folder) return false;
  platform::FileId replacedId;
  if (folder->entryKind(name) != platform::EntryKind::missing &&
      !mayReplace(*folder, name, memberName, why, replaced, replacedId))
    return false;
  bool toFolder = false;
  if (!leadsTo.empty()) {
    std::string targetName;
    MemberFailure ignored = MemberFailure::notWritten;
    const Folder targetFolder = parentOf(leadsTo, targetName, ignored, false);
    toFolder = targetFolder && targetFolder->entryKind(targetName) == platform::EntryKind::directory;
  } else {
    toFolder = true;  // the root itself
  }
  const platform::Failure failure = folder->makeSymbolicLink(name, text, toFolder);
  if (failure == platform::Failure::none) {
    if (replacedId.valid) written_.erase(replacedId);
    return true;
  }
  replaced.reset();
  if (failure == platform::Failure::isFolder || failure == platform::Failure::readOnly) {
    why = failureOfFile(failure);
    return false;
  }
  // Where the system makes no links (Windows without the right to, Wine), the file it
  // would lead to, when this job wrote one.
  if (!leadsTo.empty() && wroteFile(leadsTo))
    return copyFile(relative, memberName, leadsTo, mtime, nanoseconds, why, replaced);
  why = MemberFailure::linkNotMade;
  return false;
}

bool OutputTree::copyFile(const std::string& relative, const std::string& memberName, const std::string& target,
                          std::int64_t mtime, std::int32_t nanoseconds, MemberFailure& why,
                          std::optional<ReplacedMember>& replaced) {
  std::string targetName;
  const Folder from = parentOf(target, targetName, why, false);
  const zax::UniqueStream input = from ? from->openToRead(targetName) : zax::UniqueStream();
  if (!input) {
    why = MemberFailure::linkNotMade;
    return false;
  }
  OpenOutput output;
  if (!createFile(relative, memberName, -1, output, why, replaced)) return false;
  char buffer[64 * 1024];
  bool good = true;
  for (std::size_t got; good && (got = std::fread(buffer, 1, sizeof buffer, input.get())) > 0;)
    good = std::fwrite(buffer, 1, got, output.file.stream.get()) == got;
  good = good && !std::ferror(input.get()) && platform::setStreamFileTime(output.file.stream.get(), mtime, nanoseconds);
  const platform::Failure failure = closeFile(output, good);
  if (good && failure == platform::Failure::none) return true;
  why = failure == platform::Failure::noSpace ? MemberFailure::diskFull : MemberFailure::notWritten;
  replaced.reset();
  return false;
}

void OutputTree::settleFolderLater(const std::string& relative, std::int32_t mode, std::int64_t mtime,
                                   std::int32_t nanoseconds) {
  settleFoldersOutside(relative);
  try {
    waiting_.push_back({relative, mode, mtime, nanoseconds});
  } catch (const std::bad_alloc&) {
    // Without memory for it the folder keeps the mode and time it has.
  }
}

void OutputTree::settleFoldersOutside(const std::string& relative) {
  while (!waiting_.empty()) {
    const std::string& folder = waiting_.back().relative;
    const bool inside = relative.size() >= folder.size() && relative.compare(0, folder.size(), folder) == 0 &&
                        (relative.size() == folder.size() || relative[folder.size()] == '\\');
    if (inside && !relative.empty()) return;
    const WaitingFolder settled = std::move(waiting_.back());
    waiting_.pop_back();
    std::string name;
    MemberFailure ignored = MemberFailure::notWritten;
    // A folder that cannot be reached or set any more keeps what it has: its members are
    // written, which is what the job is for.
    if (const Folder parent = parentOf(settled.relative, name, ignored, false))
      parent->setFolderAttributes(name, settled.mode, settled.mtime, settled.nanoseconds);
  }
}

void OutputTree::settleAllFolders() { settleFoldersOutside(std::string()); }

platform::Failure OutputTree::closeFile(OpenOutput& output, bool keep) {
  const platform::FileId id = output.file.id;
  const platform::Failure failure = output.folder->closeFile(output.file, keep);
  output.folder.reset();
  if (keep && failure == platform::Failure::none && id.valid) {
    // Remembering is a convenience for naming clashes: without memory for it the file still
    // stands.
    try {
      written_[id] = writingMember_;
    } catch (const std::bad_alloc&) {
    }
  }
  return failure;
}

}  // namespace untgz
