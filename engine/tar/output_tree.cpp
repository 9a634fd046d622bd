#include "engine/tar/output_tree.h"

#include <algorithm>
#include <new>
#include <utility>

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
                                        MemberFailure& why) {
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
    const platform::Failure failure = folder->openFolder(key.substr(next, stop - next), below, made);
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

bool OutputTree::createFile(const std::string& relative, const std::string& memberName,
                            OpenOutput& output, MemberFailure& why,
                            std::optional<ReplacedMember>& replaced) {
  if (platform::pathTooLong(root_ + relative)) {
    why = MemberFailure::pathTooLong;
    return false;
  }
  const std::size_t slash = relative.find_last_of('\\');
  Folder folder = folderOf(relative, slash == std::string::npos ? 0 : slash, why);
  if (!folder) return false;
  const std::string name = slash == std::string::npos ? relative : relative.substr(slash + 1);

  // Most members land where nothing is yet: the file is made at once (never over anything:
  // the creation fails when something is there), and what is at the path is looked at only
  // when it fails. That saves a look per file when a fresh folder takes thousands.
  platform::Failure failure = folder->createFile(name, false, output.file);
  platform::FileId replacedId;
  if (failure == platform::Failure::exists) {
    switch (folder->entryKind(name)) {
      case platform::EntryKind::directory:
        why = MemberFailure::folderInTheWay;
        return false;
      case platform::EntryKind::file: {
        const platform::FileId id = folder->fileId(name);
        if (id == archive_) {
          why = MemberFailure::isTheArchive;
          return false;
        }
        const auto earlier = written_.find(id);
        if (earlier != written_.end()) {
          replacedId = id;
          if (!sameName(earlier->second, memberName)) replaced = ReplacedMember{earlier->second};
        }
        break;
      }
      default:
        break;
    }
    // Replaced, never opened: writing into an existing file would write through a hard or
    // symbolic link into a file elsewhere.
    failure = folder->createFile(name, true, output.file);
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
