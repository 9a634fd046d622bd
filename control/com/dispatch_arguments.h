// The arguments of a late-bound call, made into what the member's declaration asks for.
// Script hosts pass a variable by reference as a VARIANT (VT_BYREF | VT_VARIANT) whatever
// the parameter's type, and an expression by value in whatever type it has; the type
// library's Invoke takes only the declared types. As VB's own late binding does, each
// argument is converted to its declared type (VariantChangeType), and what an [in, out]
// parameter holds after the call is written back into the caller's variable.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <vector>

namespace zax::com {

class DispatchArguments {
 public:
  DispatchArguments() = default;
  DispatchArguments(const DispatchArguments&) = delete;
  DispatchArguments& operator=(const DispatchArguments&) = delete;
  ~DispatchArguments();

  // Prepares the caller's arguments for member `id` invoked with `flags`, as the vtable
  // side `info` declares it. Arguments that already have their declared type, and calls
  // whose shape does not fit the declaration (the type library's Invoke reports those),
  // go on unchanged. DISP_E_TYPEMISMATCH, with the argument's index in *argError, when an
  // argument cannot be converted.
  HRESULT prepare(ITypeInfo* info, DISPID id, WORD flags, DISPPARAMS* caller, UINT* argError);
  // What to hand to the type library's Invoke: the caller's own parameters, or their
  // converted copies.
  DISPPARAMS* params() { return converted_ ? &params_ : caller_; }
  // Writes the values of converted by-reference parameters back into the caller's
  // by-reference arguments, in the type each argument has.
  void writeBack();

 private:
  struct Slot {
    VARIANT* callerArg = nullptr;  // the caller's argument
    VARIANT value;                 // the converted value this object owns
    bool writesBack = false;
  };

  DISPPARAMS* caller_ = nullptr;
  bool converted_ = false;
  DISPPARAMS params_{};
  std::vector<VARIANT> args_;  // handed on: the caller's values, or refer to slots_
  std::vector<Slot> slots_;    // one per converted argument; never reallocated after prepare
};

}  // namespace zax::com
