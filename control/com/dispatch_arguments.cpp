#include "control/com/dispatch_arguments.h"

#include <cstring>

namespace zax::com {
namespace {

// The function description of member `id` for an invocation with `flags`; the caller
// releases it with ReleaseFuncDesc.
FUNCDESC* findMember(ITypeInfo* info, DISPID id, WORD flags) {
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return nullptr;
  const WORD count = attr->cFuncs;
  info->ReleaseTypeAttr(attr);
  for (UINT i = 0; i < count; ++i) {
    FUNCDESC* function = nullptr;
    if (FAILED(info->GetFuncDesc(i, &function))) continue;
    if (function->memid == id && (function->invkind & flags) != 0) return function;
    info->ReleaseFuncDesc(function);
  }
  return nullptr;
}

// The bytes a by-reference argument of a plain type points to, or 0 for types this does
// not write into (objects, arrays, records).
std::size_t scalarSize(VARTYPE type) {
  switch (type) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: return 8;
    default: return 0;
  }
}

// Stores value into what the caller's by-reference argument points to, converted to the
// argument's own type; a value that does not convert leaves the variable as it was.
void storeThrough(VARIANT* target, VARIANT& value) {
  const VARTYPE type = static_cast<VARTYPE>(V_VT(target) & ~VT_BYREF);
  if (type == VT_VARIANT) {
    VARIANT copy;
    VariantInit(&copy);
    if (FAILED(VariantCopy(&copy, &value))) return;
    VariantClear(V_VARIANTREF(target));
    *V_VARIANTREF(target) = copy;
    return;
  }
  VARIANT converted;
  VariantInit(&converted);
  if (FAILED(VariantChangeType(&converted, &value, 0, type))) return;
  if (type == VT_BSTR) {
    SysFreeString(*V_BSTRREF(target));
    *V_BSTRREF(target) = V_BSTR(&converted);  // ownership moves to the caller's variable
    return;
  }
  if (type == VT_DECIMAL) {
    *V_DECIMALREF(target) = V_DECIMAL(&converted);
    return;
  }
  const std::size_t size = scalarSize(type);
  // Every member of the union's plain types starts at the same place: copy its bytes.
  if (size != 0) std::memcpy(V_BYREF(target), &V_UI1(&converted), size);
  VariantClear(&converted);
}

}  // namespace

DispatchArguments::~DispatchArguments() {
  for (Slot& slot : slots_) VariantClear(&slot.value);
}

HRESULT DispatchArguments::prepare(ITypeInfo* info, DISPID id, WORD flags, DISPPARAMS* caller,
                                   UINT* argError) {
  caller_ = caller;
  if (info == nullptr || caller == nullptr || caller->cArgs == 0 || caller->rgvarg == nullptr) {
    return S_OK;
  }
  FUNCDESC* function = findMember(info, id, flags);
  if (function == nullptr) return S_OK;

  // The parameters a caller passes: all but the return value.
  std::vector<const ELEMDESC*> declared;
  for (SHORT p = 0; p < function->cParams; ++p) {
    const ELEMDESC& element = function->lprgelemdescParam[p];
    if ((element.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) == 0) declared.push_back(&element);
  }

  // The declared parameter of each argument: named arguments first (the value of a
  // property put, or a parameter by its ordinal), then the positional ones in reverse.
  const UINT count = caller->cArgs;
  const UINT named = caller->cNamedArgs;
  std::vector<const ELEMDESC*> parameterOf(count, nullptr);
  bool fits = count <= declared.size() && named <= count &&
              (named == 0 || caller->rgdispidNamedArgs != nullptr);
  for (UINT i = 0; fits && i < count; ++i) {
    std::size_t index;
    if (i < named) {
      const DISPID name = caller->rgdispidNamedArgs[i];
      if (name == DISPID_PROPERTYPUT) {
        index = declared.size() - 1;
      } else if (name >= 0) {
        index = static_cast<std::size_t>(name);
      } else {
        fits = false;
        break;
      }
    } else {
      index = count - 1 - i;
    }
    if (index >= declared.size()) fits = false;
    else parameterOf[i] = declared[index];
  }

  HRESULT result = S_OK;
  if (fits) {
    args_.assign(caller->rgvarg, caller->rgvarg + count);  // shallow: the caller owns them
    slots_.reserve(count);
    for (UINT i = 0; i < count; ++i) {
      const TYPEDESC& type = parameterOf[i]->tdesc;
      const bool byReference = type.vt == VT_PTR;
      const VARTYPE base = byReference ? type.lptdesc->vt : type.vt;
      VARIANT* arg = &caller->rgvarg[i];
      const VARTYPE wanted = byReference ? static_cast<VARTYPE>(VT_BYREF | base) : base;
      if (V_VT(arg) == wanted || base == VT_VARIANT) continue;

      // The argument's value: what a by-reference argument points to, or the argument.
      VARIANT plain;
      VariantInit(&plain);
      HRESULT hr = VariantCopyInd(&plain, arg);
      Slot& slot = slots_.emplace_back();
      slot.callerArg = arg;
      VariantInit(&slot.value);
      if (SUCCEEDED(hr)) hr = VariantChangeType(&slot.value, &plain, 0, base);
      VariantClear(&plain);
      if (FAILED(hr)) {
        if (argError != nullptr) *argError = i;
        result = DISP_E_TYPEMISMATCH;
        break;
      }
      VARIANT& handed = args_[i];
      if (byReference) {
        V_VT(&handed) = static_cast<VARTYPE>(VT_BYREF | base);
        // Every by-reference member of the union is the same pointer.
        V_BYREF(&handed) = &V_UI1(&slot.value);
        if (base == VT_DECIMAL) V_DECIMALREF(&handed) = &V_DECIMAL(&slot.value);
        slot.writesBack = (V_VT(arg) & VT_BYREF) != 0;
      } else {
        handed = slot.value;  // shallow: the slot keeps ownership
      }
      converted_ = true;
    }
  }
  info->ReleaseFuncDesc(function);
  if (converted_) {
    params_ = *caller;
    params_.rgvarg = args_.data();
  }
  return result;
}

void DispatchArguments::writeBack() {
  for (Slot& slot : slots_) {
    if (slot.writesBack) storeThrough(slot.callerArg, slot.value);
  }
}

}  // namespace zax::com
