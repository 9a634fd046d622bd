#include "engine/tar/output_tree.h"

namespace untgz {

namespace {

MemberFailure failureOfCreate(platform::Failure failure, MemberFailure otherwise) {
  switch (failure) {
    case platform::Failure::noSpace:
      return MemberFailure::diskFull;
    case platform::Failure::nameTooLong:
      return MemberFailure::pathTooLong;
    case platform::Failure::notFolder:
      return MemberFailure::fileOnTheWay;
    default:
      return otherwise;
  }
}

}  // namespace

OutputTree::OutputTree(const std::string& root, platform::FileId archive, const TestHooks& hooks)
    : root_(root), archive_(archive), hooks_(hooks) {
  if (root_.empty() || root_.back() != '\\') root_ += '\\';
}

std::optional<MemberFailure> OutputTree::makeFolder(const std::string& relative) {
  if (platform::pathTooLong(fullPath(relative))) return MemberFailure::pathTooLong;
  return makeFolders(relative, relative.size());
}

std::optional<MemberFailure> OutputTree::makeFolders(const std::string& relative, std::size_t end) {
  if (end == 0) return std::nullopt;
  // The common case: the member's folder is known already.
  std::string key = relative.substr(0, end);
  if (folders_.count(key) != 0) return std::nullopt;

  // The deepest known folder above it; the path's length is bounded by pathTooLong, so
  // this search stays small.
  std::size_t known = 0;
  // A relative path never starts with a separator, so every separator found is past 0.
  for (std::size_t at = key.rfind('\\'); at != std::string::npos; at = key.rfind('\\', at - 1)) {
    if (folders_.count(key.substr(0, at)) != 0) {
      known = at + 1;
      break;
    }
  }
  for (std::size_t next = key.find('\\', known);; next = key.find('\\', next + 1)) {
    const std::size_t stop = next == std::string::npos ? key.size() : next;
    if (auto failure = makeOneFolder(key.substr(0, stop))) return failure;
    if (next == std::string::npos) break;
  }
  return std::nullopt;
}

std::optional<MemberFailure> OutputTree::makeOneFolder(const std::string& relative) {
  const std::string path = fullPath(relative);
  switch (platform::entryKind(path)) {
    case platform::EntryKind::directory:
      break;
    case platform::EntryKind::link:
      return MemberFailure::linkOnTheWay;
    case platform::EntryKind::file:
    case platform::EntryKind::other:
      return MemberFailure::fileOnTheWay;
    case platform::EntryKind::missing:
      if (!platform::createDirectory(path)) {
        const platform::Failure failure = platform::lastFailure();
        // Made by someone else in the meantime is fine, as long as it is a real folder.
        if (platform::entryKind(path) != platform::EntryKind::directory)
          return failureOfCreate(failure, MemberFailure::folderNotCreated);
      }
      break;
  }
  folders_.insert(relative);
  return std::nullopt;
}

bool OutputTree::createFile(const std::string& relative, platform::OutputFile& file,
                            MemberFailure& why) {
  const std::string path = fullPath(relative);
  if (platform::pathTooLong(path)) {
    why = MemberFailure::pathTooLong;
    return false;
  }
  const std::size_t slash = relative.find_last_of('\\');
  if (auto failure = makeFolders(relative, slash == std::string::npos ? 0 : slash)) {
    why = *failure;
    return false;
  }
  // Most members land where nothing is yet: the file is made at once (never over anything:
  // the creation fails when something is there), and what is at the path is looked at only
  // when it fails. That saves a look per file when a fresh folder takes thousands.
  if (!hooks_.createOutputFile && platform::openOutputFile(path, false, file)) return true;
  bool replace = true;
  switch (platform::entryKind(path)) {
    case platform::EntryKind::missing:
      replace = false;
      break;
    case platform::EntryKind::directory:
      why = MemberFailure::folderInTheWay;
      return false;
    case platform::EntryKind::file:
      if (platform::fileId(path, false) == archive_) {
        why = MemberFailure::isTheArchive;
        return false;
      }
      break;
    case platform::EntryKind::link:
    case platform::EntryKind::other:
      break;
  }
  // Replaced, never opened: writing into an existing file would write through a hard or
  // symbolic link into a file elsewhere.
  if (openFile(path, replace, file)) return true;
  const platform::Failure failure = platform::lastFailure();
  why = failure == platform::Failure::exists
            ? MemberFailure::notReplaced
            : failureOfCreate(failure, MemberFailure::fileNotCreated);
  return false;
}

bool OutputTree::openFile(const std::string& path, bool replace, platform::OutputFile& file) const {
  if (!hooks_.createOutputFile) return platform::openOutputFile(path, replace, file);
  file = platform::OutputFile{nullptr, path, path};
  file.stream = hooks_.createOutputFile(path);
  return file.stream != nullptr;
}

}  // namespace untgz
