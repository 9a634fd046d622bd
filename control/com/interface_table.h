// QueryInterface as a table: one row per interface an object hands out.
//
//   static constexpr InterfaceRow<Object> kRows[] = {as<IUnknown, IFoo>, as<IFoo>, ...};
//   return queryInterface(this, kRows, iid, object);
#pragma once

#include <unknwn.h>

#include <cstddef>

namespace zax::com {

// A row answers the object as the interface iid names, or null when iid names another.
template <class Object>
using InterfaceRow = IUnknown* (*)(Object*, REFIID);

// The row of interface I. Where more than one base of the object leads to I (IUnknown,
// IDispatch, IOleWindow, IPersist), Via names the one to take, so that every request for
// I answers the same pointer.
template <class I, class Via = I, class Object>
IUnknown* as(Object* object, REFIID iid) {
  if (!IsEqualIID(iid, __uuidof(I))) return nullptr;
  return static_cast<I*>(static_cast<Via*>(object));
}

// IUnknown::QueryInterface over the rows: the first row that answers, with a reference.
template <class Object, std::size_t N>
HRESULT queryInterface(Object* object, const InterfaceRow<Object> (&rows)[N], REFIID iid,
                       void** out) {
  if (out == nullptr) return E_POINTER;
  for (const InterfaceRow<Object> row : rows) {
    if (IUnknown* found = row(object, iid)) {
      found->AddRef();
      *out = found;
      return S_OK;
    }
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

}  // namespace zax::com
