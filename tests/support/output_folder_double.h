// A stand-in for the engine's output folders: the real folders of the system, with each
// member's file answered first by the test (refused, written to a stream of the test's
// own, or made as usual), so that faults of the file system can be played without one.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "engine/platform/platform.h"
#include "engine/tar/test_hooks.h"

namespace zaxtest {

// What the test answers for a member's file.
struct FileAnswer {
  enum class Kind { pass, refuse, stream };
  Kind kind = Kind::pass;
  platform::Failure failure = platform::Failure::accessDenied;  // for refuse
  std::FILE* stream = nullptr;                                  // for stream: the test's own

  static FileAnswer pass() { return {}; }
  static FileAnswer refuse(platform::Failure why) { return {Kind::refuse, why, nullptr}; }
  static FileAnswer writeTo(std::FILE* stream) { return {Kind::stream, platform::Failure::none, stream}; }
};

// Gets the path of the file below the output root ("sub\\name") and answers.
using FileAnswerer = std::function<FileAnswer(const std::string& relative)>;

class AnsweringFolder : public platform::OutputFolder {
 public:
  AnsweringFolder(std::unique_ptr<platform::OutputFolder> real, std::string relative, FileAnswerer answer)
      : real_(std::move(real)), relative_(std::move(relative)), answer_(std::move(answer)) {}

  platform::EntryKind entryKind(const std::string& name) override { return real_->entryKind(name); }
  platform::FileId fileId(const std::string& name) override { return real_->fileId(name); }

  platform::Failure openFolder(const std::string& name, bool create, std::unique_ptr<platform::OutputFolder>& folder,
                               bool& made) override {
    std::unique_ptr<platform::OutputFolder> real;
    const platform::Failure failure = real_->openFolder(name, create, real, made);
    if (failure == platform::Failure::none)
      folder = std::make_unique<AnsweringFolder>(std::move(real), pathOf(name), answer_);
    return failure;
  }

  platform::Failure createFile(const std::string& name, Replace replace, std::int32_t mode,
                               platform::OutputFile& file) override {
    const FileAnswer answer = answer_(pathOf(name));
    switch (answer.kind) {
      case FileAnswer::Kind::refuse:
        return answer.failure;
      case FileAnswer::Kind::stream:
        file = platform::OutputFile{zax::UniqueStream(answer.stream), name, ownStream(), platform::FileId()};
        return platform::Failure::none;
      case FileAnswer::Kind::pass:
        break;
    }
    return real_->createFile(name, replace, mode, file);
  }

  platform::Failure closeFile(platform::OutputFile& file, bool keep) override {
    if (file.writingName != ownStream()) return real_->closeFile(file, keep);
    const bool closed = file.stream.close();
    return keep && !closed ? platform::lastStreamFailure() : platform::Failure::none;
  }

  zax::UniqueStream openToRead(const std::string& name) override { return real_->openToRead(name); }
  platform::Failure makeHardLink(const std::string& name, platform::OutputFolder& from,
                                 const std::string& target) override {
    return real_->makeHardLink(name, from, target);
  }
  platform::Failure makeSymbolicLink(const std::string& name, const std::string& target, bool toFolder) override {
    return real_->makeSymbolicLink(name, target, toFolder);
  }
  bool setFolderAttributes(const std::string& name, std::int32_t mode, std::int64_t seconds,
                           std::int32_t nanoseconds) override {
    return real_->setFolderAttributes(name, mode, seconds, nanoseconds);
  }
  std::intptr_t nativeHandle() const override { return real_->nativeHandle(); }

 private:
  // Marks a file written to the test's own stream, which no folder holds.
  static const std::string& ownStream() {
    static const std::string mark = "\n(the test's own stream)";
    return mark;
  }
  std::string pathOf(const std::string& name) const { return relative_.empty() ? name : relative_ + "\\" + name; }

  std::unique_ptr<platform::OutputFolder> real_;
  std::string relative_;
  FileAnswerer answer_;
};

// The hook that makes an engine's extractions write through AnsweringFolder.
inline std::function<platform::Failure(const std::string&, std::unique_ptr<platform::OutputFolder>&)>
answeringRoot(FileAnswerer answer) {
  return [answer](const std::string& path, std::unique_ptr<platform::OutputFolder>& root) {
    std::unique_ptr<platform::OutputFolder> real;
    const platform::Failure failure = platform::openOutputRoot(path, real);
    if (failure == platform::Failure::none) root = std::make_unique<AnsweringFolder>(std::move(real), "", answer);
    return failure;
  };
}

}  // namespace zaxtest
