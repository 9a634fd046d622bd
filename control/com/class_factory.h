// The class object of ZAXTarGzip.
#pragma once

#include <unknwn.h>

#include "control/com/module.h"

namespace zax::com {

class ClassFactory final : public IClassFactory {
 public:
  ClassFactory() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  ~ClassFactory() = default;
  ModuleLock moduleLock_;
  long refs_ = 1;
};

}  // namespace zax::com
