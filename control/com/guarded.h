// Where C++ meets a COM caller, which understands only HRESULTs: an exception must not
// cross (through a C or system frame it ends the process, or worse), so each boundary runs
// its body through guarded(), after WIL's CATCH_RETURN.
#pragma once

#include <windows.h>

#include <new>
#include <utility>

namespace zax::com {

// Runs body (returning an HRESULT) and answers what it returns, E_OUTOFMEMORY when it
// throws std::bad_alloc, and otherwise for anything else it throws. Errors that a caller
// answers with their own HRESULT are caught inside body, before this.
template <class Body>
HRESULT guarded(Body&& body, HRESULT otherwise = E_UNEXPECTED) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return otherwise;
  }
}

}  // namespace zax::com
