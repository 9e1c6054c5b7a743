#pragma once
// The program's own COM objects: the three WebView2 handlers (environment
// created, controller created, web message received). Each is a ComHandler:
// a reference-counted object that implements IUnknown and one handler
// interface, and hands each Invoke to a plain function together with the
// value captured when the handler was made.

#include <atomic>
#include <new>
#include <type_traits>
#include <utility>

#include "host/webview2.h"

template <typename Interface, typename Captured, typename... Args>
class ComHandler {
 public:
  using Function = void (*)(const Captured& captured, Args... args);

  // A new handler with one reference, owned by the caller, who releases it
  // once the handler has been handed over. Null when memory runs out.
  static Interface* Create(Function function, Captured captured) {
    static_assert(std::is_standard_layout_v<ComHandler>, "the interface must sit at the object's address");
    auto* handler = new (std::nothrow) ComHandler(function, std::move(captured));
    return handler != nullptr ? &handler->interface_ : nullptr;
  }

 private:
  using Vtbl = std::remove_const_t<std::remove_pointer_t<decltype(Interface::lpVtbl)>>;

  ComHandler(Function function, Captured captured) : function_(function), captured_(std::move(captured)) {}

  // The interface is the first member of a standard-layout object, so the
  // pointer the runtime holds is the object's own address.
  static ComHandler* From(Interface* self) { return reinterpret_cast<ComHandler*>(self); }

  // Answers IUnknown and the one handler interface; refuses everything else.
  static HRESULT STDMETHODCALLTYPE QueryInterface(Interface* self, REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(Interface))) {
      AddRef(self);
      *out = self;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }

  static ULONG STDMETHODCALLTYPE AddRef(Interface* self) { return ++From(self)->references_; }

  static ULONG STDMETHODCALLTYPE Release(Interface* self) {
    ComHandler* handler = From(self);
    const ULONG left = --handler->references_;
    if (left == 0) delete handler;
    return left;
  }

  // The runtime calls through COM: nothing may escape toward it, and it is
  // always told that the call succeeded.
  static HRESULT STDMETHODCALLTYPE Invoke(Interface* self, Args... args) {
    ComHandler* handler = From(self);
    try {
      handler->function_(handler->captured_, args...);
    } catch (...) {
    }
    return S_OK;
  }

  static constexpr Vtbl kVtbl = {&QueryInterface, &AddRef, &Release, &Invoke};

  Interface interface_{&kVtbl};
  std::atomic<ULONG> references_{1};
  Function function_;
  Captured captured_;
};
