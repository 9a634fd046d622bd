#include "host/engine_entry.h"

namespace zax::os {

EngineEntry::Load EngineEntry::load(const std::string& path) {
  unload();
  library_.reset(loadLibrary(path));
  if (!library_) return Load::noLibrary;
  entry_ = findEntry(library_.get(), "interface1");
  return entry_ ? Load::done : Load::noEntry;
}

void EngineEntry::unload() {
  entry_ = nullptr;
  library_.reset();
}

void EngineEntry::abandon() {
  entry_ = nullptr;
  library_.release();
}

}  // namespace zax::os
