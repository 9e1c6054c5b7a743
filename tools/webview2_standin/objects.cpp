// Controller (with Controller2), web view, settings and web-message event
// arguments: each call is logged with its arguments.
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <utility>

#include "tools/webview2_standin/standin.h"

namespace standin {

namespace {

std::string IidName(REFIID iid) {
  if (IsEqualIID(iid, __uuidof(IUnknown))) return "IUnknown";
  if (IsEqualIID(iid, __uuidof(ICoreWebView2Controller))) return "ICoreWebView2Controller";
  if (IsEqualIID(iid, __uuidof(ICoreWebView2Controller2))) return "ICoreWebView2Controller2";
  if (IsEqualIID(iid, __uuidof(ICoreWebView2))) return "ICoreWebView2";
  if (IsEqualIID(iid, __uuidof(ICoreWebView2Settings))) return "ICoreWebView2Settings";
  if (IsEqualIID(iid, __uuidof(ICoreWebView2Settings3))) return "ICoreWebView2Settings3";
  if (IsEqualIID(iid, __uuidof(ICoreWebView2WebMessageReceivedEventArgs))) {
    return "ICoreWebView2WebMessageReceivedEventArgs";
  }
  wchar_t text[40] = {};
  StringFromGUID2(iid, text, 40);
  return Utf8(text);
}

std::string Rect(const RECT& rect) {
  return std::to_string(rect.left) + "," + std::to_string(rect.top) + "," + std::to_string(rect.right) + "," +
         std::to_string(rect.bottom);
}

// The IUnknown part shared by every object: Self has `iface` first, a
// `references` count, a static kName and a static Answers(iid).
template <typename Self, typename Interface>
Self* From(Interface* iface) {
  return reinterpret_cast<Self*>(iface);
}

template <typename Self, typename Interface>
HRESULT STDMETHODCALLTYPE QueryInterfaceOf(Interface* iface, REFIID iid, void** out) {
  Self* self = From<Self>(iface);
  const bool answered = Self::Answers(iid);
  Log(std::string(Self::kName) + ".QueryInterface " + IidName(iid) + (answered ? " -> S_OK" : " -> E_NOINTERFACE"));
  if (!answered) {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ++self->references;
  *out = &self->iface;
  return S_OK;
}

template <typename Self, typename Interface>
ULONG STDMETHODCALLTYPE AddRefOf(Interface* iface) {
  const ULONG count = ++From<Self>(iface)->references;
  Log(std::string(Self::kName) + ".AddRef -> " + std::to_string(count));
  return count;
}

template <typename Self, typename Interface>
ULONG STDMETHODCALLTYPE ReleaseOf(Interface* iface) {
  Self* self = From<Self>(iface);
  const ULONG left = --self->references;
  Log(std::string(Self::kName) + ".Release -> " + std::to_string(left));
  if (left == 0) {
    delete self;
    Log(std::string(Self::kName) + " destroyed");
  }
  return left;
}

template <typename Self, int kSlot>
HRESULT STDMETHODCALLTYPE Unused(void* iface) {
  return UnusedSlotCalled<Self::kName, kSlot>(iface);
}

// ---------------------------------------------------------------- settings

struct Settings {
  static constexpr char kName[] = "Settings";
  static bool Answers(REFIID iid) {
    return IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(ICoreWebView2Settings)) ||
           (IsEqualIID(iid, __uuidof(ICoreWebView2Settings3)) && !Failing("settings3"));
  }
  // One table serves both interfaces: Settings3's begins with Settings'.
  ICoreWebView2Settings3 iface;
  ULONG references = 1;
};

template <const char* kMethod, typename Interface = ICoreWebView2Settings>
HRESULT STDMETHODCALLTYPE PutSetting(Interface*, BOOL value) {
  Log(std::string("Settings.") + kMethod + " " + std::to_string(value));
  return S_OK;
}
constexpr char kStatusBar[] = "put_IsStatusBarEnabled";
constexpr char kDevTools[] = "put_AreDevToolsEnabled";
constexpr char kContextMenus[] = "put_AreDefaultContextMenusEnabled";
constexpr char kZoomControl[] = "put_IsZoomControlEnabled";
constexpr char kBrowserKeys[] = "put_AreBrowserAcceleratorKeysEnabled";

// ---------------------------------------------------------------- navigation and new-window event arguments

// Arguments that take one answer from the program (put_Cancel, put_Handled)
// and write it to *answer, where the page reads it after the call.
template <typename Interface, const char* kObjectName, const char* kMethod>
struct AnswerArgs {
  static constexpr const char* kName = kObjectName;
  static bool Answers(REFIID iid) {
    return IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(Interface));
  }
  static HRESULT STDMETHODCALLTYPE Put(Interface* iface, BOOL value) {
    Log(std::string(kName) + "." + kMethod + " " + std::to_string(value));
    *From<AnswerArgs>(iface)->answer = value;
    return S_OK;
  }
  Interface iface;
  ULONG references = 1;
  BOOL* answer;
};

constexpr char kNavigationArgs[] = "NavigationArgs";
constexpr char kNewWindowArgs[] = "NewWindowArgs";
constexpr char kPutCancel[] = "put_Cancel";
constexpr char kPutHandled[] = "put_Handled";
using NavigationArgs = AnswerArgs<ICoreWebView2NavigationStartingEventArgs, kNavigationArgs, kPutCancel>;
using NewWindowArgs = AnswerArgs<ICoreWebView2NewWindowRequestedEventArgs, kNewWindowArgs, kPutHandled>;

// ---------------------------------------------------------------- event arguments

struct EventArgs {
  static constexpr char kName[] = "EventArgs";
  static bool Answers(REFIID iid) {
    return IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(ICoreWebView2WebMessageReceivedEventArgs));
  }
  ICoreWebView2WebMessageReceivedEventArgs iface;
  ULONG references = 1;
  std::wstring source;
  bool asString;
  std::wstring message;
};

LPWSTR RuntimeCopy(const std::wstring& text) {
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (copy != nullptr) std::memcpy(copy, text.c_str(), bytes);
  return copy;
}

// The JSON text of a string message, as the runtime gives it: quoted, with
// quotes, backslashes and control characters escaped.
std::wstring JsonOfString(const std::wstring& text) {
  std::wstring out = L"\"";
  for (wchar_t c : text) {
    if (c == L'"' || c == L'\\') {
      out += L'\\';
      out += c;
    } else if (c < 0x20) {
      wchar_t escaped[8];
      std::swprintf(escaped, 8, L"\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + L"\"";
}

HRESULT STDMETHODCALLTYPE GetSource(ICoreWebView2WebMessageReceivedEventArgs* iface, LPWSTR* source) {
  EventArgs* self = From<EventArgs>(iface);
  Log("EventArgs.get_Source -> " + Utf8(self->source));
  *source = RuntimeCopy(self->source);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE GetWebMessageAsJson(ICoreWebView2WebMessageReceivedEventArgs* iface, LPWSTR* json) {
  EventArgs* self = From<EventArgs>(iface);
  Log("EventArgs.get_WebMessageAsJson");
  *json = RuntimeCopy(self->asString ? JsonOfString(self->message) : self->message);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TryGetWebMessageAsString(ICoreWebView2WebMessageReceivedEventArgs* iface, LPWSTR* text) {
  EventArgs* self = From<EventArgs>(iface);
  Log(std::string("EventArgs.TryGetWebMessageAsString -> ") + (self->asString ? "S_OK" : "E_INVALIDARG"));
  if (!self->asString) {
    *text = nullptr;
    return E_INVALIDARG;
  }
  *text = RuntimeCopy(self->message);
  return S_OK;
}

// ---------------------------------------------------------------- web view

struct WebView {
  static constexpr char kName[] = "WebView";
  static bool Answers(REFIID iid) {
    return IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(ICoreWebView2));
  }
  ICoreWebView2 iface;
  ULONG references = 1;
  ~WebView() {
    SetPageHandler(nullptr);
    SetNavigationHandler(Navigation::kDocument, nullptr);
    SetNavigationHandler(Navigation::kFrame, nullptr);
    SetNewWindowHandler(nullptr);
  }
};

HRESULT STDMETHODCALLTYPE GetSettings(ICoreWebView2*, ICoreWebView2Settings** settings) {
  Log("WebView.get_Settings");
  *settings = NewSettings();
  return S_OK;
}

// Like the runtime, the navigation starts from the message loop, and the page
// loads only when no handler cancelled it.
HRESULT STDMETHODCALLTYPE NavigateToString(ICoreWebView2* iface, LPCWSTR html) {
  const std::wstring_view text = html == nullptr ? std::wstring_view() : std::wstring_view(html);
  Log("WebView.NavigateToString " + std::to_string(text.size()) + " UTF-16 units");
  const std::string path = Variable("QF_WV2_NAVIGATED");
  if (!path.empty()) {
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
      const std::string utf8 = Utf8(text);
      std::fwrite(utf8.data(), 1, utf8.size(), file);
      std::fclose(file);
    }
  }
  iface->AddRef();
  Schedule(10, [iface] {
    if (StartNavigation(iface, Navigation::kDocument, kNavigateToStringUri)) PageNavigated(iface);
    iface->Release();
  });
  return S_OK;
}

template <Navigation kKind>
HRESULT STDMETHODCALLTYPE AddNavigationStarting(ICoreWebView2*, ICoreWebView2NavigationStartingEventHandler* handler,
                                                EventRegistrationToken* token) {
  Log(std::string("WebView.") +
      (kKind == Navigation::kDocument ? "add_NavigationStarting" : "add_FrameNavigationStarting") +
      " handler=" + (handler ? "set" : "(null)"));
  if (handler == nullptr || token == nullptr) return E_INVALIDARG;
  if (Failing(kKind == Navigation::kDocument ? "navigation-handler" : "frame-navigation-handler")) return E_FAIL;
  SetNavigationHandler(kKind, handler);
  token->value = 2 + static_cast<int>(kKind);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE AddNewWindowRequested(ICoreWebView2*, ICoreWebView2NewWindowRequestedEventHandler* handler,
                                                EventRegistrationToken* token) {
  Log(std::string("WebView.add_NewWindowRequested handler=") + (handler ? "set" : "(null)"));
  if (handler == nullptr || token == nullptr) return E_INVALIDARG;
  SetNewWindowHandler(handler);
  token->value = 4;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(ICoreWebView2*, LPCWSTR json) {
  const std::string text = Utf8(json);
  Log("WebView.PostWebMessageAsJson " + text);
  PageReceived(text);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE AddWebMessageReceived(ICoreWebView2*, ICoreWebView2WebMessageReceivedEventHandler* handler,
                                                EventRegistrationToken* token) {
  Log(std::string("WebView.add_WebMessageReceived handler=") + (handler ? "set" : "(null)"));
  if (handler == nullptr || token == nullptr) return E_INVALIDARG;
  SetPageHandler(handler);
  token->value = 1;
  return S_OK;
}

// ---------------------------------------------------------------- controller

struct Controller {
  static constexpr char kName[] = "Controller";
  static bool Answers(REFIID iid) {
    return IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(ICoreWebView2Controller)) ||
           (IsEqualIID(iid, __uuidof(ICoreWebView2Controller2)) && !Failing("controller2"));
  }
  // One table serves both interfaces: Controller2's begins with Controller's.
  ICoreWebView2Controller2 iface;
  ULONG references = 1;
  HWND parent;
  ICoreWebView2* webView;
  ~Controller() {
    if (webView != nullptr) webView->Release();
  }
};

HRESULT STDMETHODCALLTYPE PutIsVisible(ICoreWebView2Controller*, BOOL visible) {
  Log("Controller.put_IsVisible " + std::to_string(visible));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PutBounds(ICoreWebView2Controller* iface, RECT bounds) {
  RECT client{};
  GetClientRect(From<Controller>(iface)->parent, &client);
  Log("Controller.put_Bounds " + Rect(bounds) + " client=" + Rect(client));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE GetCoreWebView2(ICoreWebView2Controller* iface, ICoreWebView2** webView) {
  Controller* self = From<Controller>(iface);
  Log(std::string("Controller.get_CoreWebView2 -> ") + (self->webView ? "web view" : "(null)"));
  *webView = self->webView;
  if (self->webView == nullptr) return E_FAIL;
  self->webView->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PutDefaultBackgroundColor(ICoreWebView2Controller2*, COREWEBVIEW2_COLOR color) {
  Log("Controller2.put_DefaultBackgroundColor A=" + std::to_string(color.A) + " R=" + std::to_string(color.R) +
      " G=" + std::to_string(color.G) + " B=" + std::to_string(color.B));
  return S_OK;
}

}  // namespace

ICoreWebView2Settings* NewSettings() {
  using S = Settings;
  using I = ICoreWebView2Settings;
  static constexpr ICoreWebView2Settings3Vtbl kVtbl = {{&QueryInterfaceOf<S, I>,
                                                        &AddRefOf<S, I>,
                                                        &ReleaseOf<S, I>,
                                                        &Unused<S, 3>,
                                                        &Unused<S, 4>,
                                                        &Unused<S, 5>,
                                                        &Unused<S, 6>,
                                                        &Unused<S, 7>,
                                                        &Unused<S, 8>,
                                                        &Unused<S, 9>,
                                                        &PutSetting<kStatusBar>,
                                                        &Unused<S, 11>,
                                                        &PutSetting<kDevTools>,
                                                        &Unused<S, 13>,
                                                        &PutSetting<kContextMenus>,
                                                        &Unused<S, 15>,
                                                        &Unused<S, 16>,
                                                        &Unused<S, 17>,
                                                        &PutSetting<kZoomControl>,
                                                        &Unused<S, 19>,
                                                        &Unused<S, 20>},
                                                       &Unused<S, 21>,
                                                       &Unused<S, 22>,
                                                       &Unused<S, 23>,
                                                       &PutSetting<kBrowserKeys, ICoreWebView2Settings3>};
  return (new Settings{{&kVtbl}})->iface.AsSettings();
}

ICoreWebView2NavigationStartingEventArgs* NewNavigationArgs(BOOL* cancel) {
  using S = NavigationArgs;
  using I = ICoreWebView2NavigationStartingEventArgs;
  static constexpr ICoreWebView2NavigationStartingEventArgsVtbl kVtbl = {
      &QueryInterfaceOf<S, I>, &AddRefOf<S, I>, &ReleaseOf<S, I>, &Unused<S, 3>, &Unused<S, 4>,
      &Unused<S, 5>,           &Unused<S, 6>,   &Unused<S, 7>,    &S::Put};
  return &(new NavigationArgs{{&kVtbl}, 1, cancel})->iface;
}

ICoreWebView2NewWindowRequestedEventArgs* NewNewWindowArgs(BOOL* handled) {
  using S = NewWindowArgs;
  using I = ICoreWebView2NewWindowRequestedEventArgs;
  static constexpr ICoreWebView2NewWindowRequestedEventArgsVtbl kVtbl = {
      &QueryInterfaceOf<S, I>, &AddRefOf<S, I>, &ReleaseOf<S, I>, &Unused<S, 3>, &Unused<S, 4>, &Unused<S, 5>, &S::Put};
  return &(new NewWindowArgs{{&kVtbl}, 1, handled})->iface;
}

ICoreWebView2WebMessageReceivedEventArgs* NewEventArgs(std::wstring source, bool asString, std::wstring message) {
  using S = EventArgs;
  using I = ICoreWebView2WebMessageReceivedEventArgs;
  static constexpr ICoreWebView2WebMessageReceivedEventArgsVtbl kVtbl = {
      &QueryInterfaceOf<S, I>, &AddRefOf<S, I>,          &ReleaseOf<S, I>, &GetSource,
      &GetWebMessageAsJson,    &TryGetWebMessageAsString};
  return &(new EventArgs{{&kVtbl}, 1, std::move(source), asString, std::move(message)})->iface;
}

ICoreWebView2* NewWebView() {
  using S = WebView;
  using I = ICoreWebView2;
  static constexpr ICoreWebView2Vtbl kVtbl = {&QueryInterfaceOf<S, I>, &AddRefOf<S, I>,
                                              &ReleaseOf<S, I>,        &GetSettings,
                                              &Unused<S, 4>,           &Unused<S, 5>,
                                              &NavigateToString,       &AddNavigationStarting<Navigation::kDocument>,
                                              &Unused<S, 8>,           &Unused<S, 9>,
                                              &Unused<S, 10>,          &Unused<S, 11>,
                                              &Unused<S, 12>,          &Unused<S, 13>,
                                              &Unused<S, 14>,          &Unused<S, 15>,
                                              &Unused<S, 16>,          &AddNavigationStarting<Navigation::kFrame>,
                                              &Unused<S, 18>,          &Unused<S, 19>,
                                              &Unused<S, 20>,          &Unused<S, 21>,
                                              &Unused<S, 22>,          &Unused<S, 23>,
                                              &Unused<S, 24>,          &Unused<S, 25>,
                                              &Unused<S, 26>,          &Unused<S, 27>,
                                              &Unused<S, 28>,          &Unused<S, 29>,
                                              &Unused<S, 30>,          &Unused<S, 31>,
                                              &PostWebMessageAsJson,   &Unused<S, 33>,
                                              &AddWebMessageReceived,  &Unused<S, 35>,
                                              &Unused<S, 36>,          &Unused<S, 37>,
                                              &Unused<S, 38>,          &Unused<S, 39>,
                                              &Unused<S, 40>,          &Unused<S, 41>,
                                              &Unused<S, 42>,          &Unused<S, 43>,
                                              &AddNewWindowRequested};
  return &(new WebView{{&kVtbl}})->iface;
}

ICoreWebView2Controller* NewController(HWND parent) {
  using S = Controller;
  using I = ICoreWebView2Controller;
  static constexpr ICoreWebView2Controller2Vtbl kVtbl = {
      {&QueryInterfaceOf<S, I>, &AddRefOf<S, I>, &ReleaseOf<S, I>, &Unused<S, 3>,  &PutIsVisible,
       &Unused<S, 5>,           &PutBounds,      &Unused<S, 7>,    &Unused<S, 8>,  &Unused<S, 9>,
       &Unused<S, 10>,          &Unused<S, 11>,  &Unused<S, 12>,   &Unused<S, 13>, &Unused<S, 14>,
       &Unused<S, 15>,          &Unused<S, 16>,  &Unused<S, 17>,   &Unused<S, 18>, &Unused<S, 19>,
       &Unused<S, 20>,          &Unused<S, 21>,  &Unused<S, 22>,   &Unused<S, 23>, &Unused<S, 24>,
       &GetCoreWebView2},
      &Unused<S, 26>,
      &PutDefaultBackgroundColor};
  ICoreWebView2* webView = Failing("webview") ? nullptr : NewWebView();
  auto* controller = new Controller{{&kVtbl}, 1, parent, webView};
  return controller->iface.AsController();
}

}  // namespace standin
