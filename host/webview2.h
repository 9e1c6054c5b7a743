#pragma once
// The WebView2 interfaces this program uses, declared here by hand from their
// published binary interface (IIDs and vtable order); the SDK's WebView2.h is
// not used.
//
// Each interface is written the way COM lays it out: an object whose first
// field points to a table of function pointers, one per method in vtable
// order, the object itself passed as the first argument. Calls go through
// inline members that read exactly the named field of that table, so the
// offsetof checks below are the same offsets the program calls through: a
// method placed at the wrong slot cannot compile. Slots before the highest
// one used are declared as Unused_<name> placeholders of pointer size, so
// every table is exactly as long as the interface up to its last used method.
//
// Only x64 is built (one calling convention); STDMETHODCALLTYPE is kept so
// that the declarations say what the interface says.

#include <windows.h>

#include <eventtoken.h>
#include <objbase.h>
#include <unknwn.h>
#include <cstddef>

struct ICoreWebView2;
struct ICoreWebView2Controller;
struct ICoreWebView2Environment;
struct ICoreWebView2Settings;
struct ICoreWebView2WebMessageReceivedEventArgs;
struct ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler;
struct ICoreWebView2CreateCoreWebView2ControllerCompletedHandler;
struct ICoreWebView2WebMessageReceivedEventHandler;
struct ICoreWebView2NavigationStartingEventArgs;
struct ICoreWebView2NavigationStartingEventHandler;
struct ICoreWebView2NewWindowRequestedEventArgs;
struct ICoreWebView2NewWindowRequestedEventHandler;
struct ICoreWebView2EnvironmentOptions;

// A slot the program never calls: it only holds its place in the table.
using UnusedSlot = HRESULT(STDMETHODCALLTYPE*)(void* self);

// Byte A first: {0xFF, 7, 7, 13} is opaque #07070D.
struct COREWEBVIEW2_COLOR {
  BYTE A;
  BYTE R;
  BYTE G;
  BYTE B;
};
static_assert(sizeof(COREWEBVIEW2_COLOR) == 4 && offsetof(COREWEBVIEW2_COLOR, A) == 0 &&
              offsetof(COREWEBVIEW2_COLOR, R) == 1 && offsetof(COREWEBVIEW2_COLOR, G) == 2 &&
              offsetof(COREWEBVIEW2_COLOR, B) == 3);
static_assert(sizeof(EventRegistrationToken) == 8);

// The three IUnknown slots that open every table, for an interface I.
#define QF_WEBVIEW2_IUNKNOWN_SLOTS(I)                                           \
  HRESULT(STDMETHODCALLTYPE* QueryInterface)(I * self, REFIID iid, void** out); \
  ULONG(STDMETHODCALLTYPE* AddRef)(I * self);                                   \
  ULONG(STDMETHODCALLTYPE* Release)(I * self)

// The matching members of the interface object, used by Microsoft::WRL::ComPtr.
#define QF_WEBVIEW2_IUNKNOWN_MEMBERS                                                                \
  HRESULT QueryInterface(REFIID iid, void** out) { return lpVtbl->QueryInterface(this, iid, out); } \
  ULONG AddRef() { return lpVtbl->AddRef(this); }                                                   \
  ULONG Release() { return lpVtbl->Release(this); }

// ---------------------------------------------------------------- environment

struct ICoreWebView2EnvironmentVtbl {
  QF_WEBVIEW2_IUNKNOWN_SLOTS(ICoreWebView2Environment);
  HRESULT(STDMETHODCALLTYPE* CreateCoreWebView2Controller)
  (ICoreWebView2Environment* self, HWND parentWindow,
   ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler);
};

struct ICoreWebView2Environment {
  const ICoreWebView2EnvironmentVtbl* lpVtbl;
  QF_WEBVIEW2_IUNKNOWN_MEMBERS
  HRESULT CreateCoreWebView2Controller(HWND parentWindow,
                                       ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) {
    return lpVtbl->CreateCoreWebView2Controller(this, parentWindow, handler);
  }
};

// ---------------------------------------------------------------- controller

struct ICoreWebView2ControllerVtbl {
  QF_WEBVIEW2_IUNKNOWN_SLOTS(ICoreWebView2Controller);
  UnusedSlot Unused_get_IsVisible;
  HRESULT(STDMETHODCALLTYPE* put_IsVisible)(ICoreWebView2Controller* self, BOOL isVisible);
  UnusedSlot Unused_get_Bounds;
  HRESULT(STDMETHODCALLTYPE* put_Bounds)(ICoreWebView2Controller* self, RECT bounds);
  UnusedSlot Unused_get_ZoomFactor;
  UnusedSlot Unused_put_ZoomFactor;
  UnusedSlot Unused_add_ZoomFactorChanged;
  UnusedSlot Unused_remove_ZoomFactorChanged;
  UnusedSlot Unused_SetBoundsAndZoomFactor;
  UnusedSlot Unused_MoveFocus;
  UnusedSlot Unused_add_MoveFocusRequested;
  UnusedSlot Unused_remove_MoveFocusRequested;
  UnusedSlot Unused_add_GotFocus;
  UnusedSlot Unused_remove_GotFocus;
  UnusedSlot Unused_add_LostFocus;
  UnusedSlot Unused_remove_LostFocus;
  UnusedSlot Unused_add_AcceleratorKeyPressed;
  UnusedSlot Unused_remove_AcceleratorKeyPressed;
  UnusedSlot Unused_get_ParentWindow;
  UnusedSlot Unused_put_ParentWindow;
  UnusedSlot Unused_NotifyParentWindowPositionChanged;
  UnusedSlot Unused_Close;
  HRESULT(STDMETHODCALLTYPE* get_CoreWebView2)(ICoreWebView2Controller* self, ICoreWebView2** coreWebView2);
};

struct ICoreWebView2Controller {
  const ICoreWebView2ControllerVtbl* lpVtbl;
  QF_WEBVIEW2_IUNKNOWN_MEMBERS
  HRESULT put_IsVisible(BOOL isVisible) { return lpVtbl->put_IsVisible(this, isVisible); }
  HRESULT put_Bounds(RECT bounds) { return lpVtbl->put_Bounds(this, bounds); }
  HRESULT get_CoreWebView2(ICoreWebView2** coreWebView2) { return lpVtbl->get_CoreWebView2(this, coreWebView2); }
};

// ICoreWebView2Controller2 extends ICoreWebView2Controller: its table is the
// controller's table followed by two slots of its own.
struct ICoreWebView2Controller2;
struct ICoreWebView2Controller2Vtbl {
  ICoreWebView2ControllerVtbl controller;
  UnusedSlot Unused_get_DefaultBackgroundColor;
  HRESULT(STDMETHODCALLTYPE* put_DefaultBackgroundColor)(ICoreWebView2Controller2* self, COREWEBVIEW2_COLOR color);
};

struct ICoreWebView2Controller2 {
  const ICoreWebView2Controller2Vtbl* lpVtbl;
  HRESULT QueryInterface(REFIID iid, void** out) { return lpVtbl->controller.QueryInterface(AsController(), iid, out); }
  ULONG AddRef() { return lpVtbl->controller.AddRef(AsController()); }
  ULONG Release() { return lpVtbl->controller.Release(AsController()); }
  HRESULT put_DefaultBackgroundColor(COREWEBVIEW2_COLOR color) {
    return lpVtbl->put_DefaultBackgroundColor(this, color);
  }
  // The same object seen through its base interface (single inheritance: one
  // table pointer, the base's slots first).
  ICoreWebView2Controller* AsController() { return reinterpret_cast<ICoreWebView2Controller*>(this); }
};

// ---------------------------------------------------------------- web view

struct ICoreWebView2Vtbl {
  QF_WEBVIEW2_IUNKNOWN_SLOTS(ICoreWebView2);
  HRESULT(STDMETHODCALLTYPE* get_Settings)(ICoreWebView2* self, ICoreWebView2Settings** settings);
  UnusedSlot Unused_get_Source;
  UnusedSlot Unused_Navigate;
  HRESULT(STDMETHODCALLTYPE* NavigateToString)(ICoreWebView2* self, LPCWSTR htmlContent);
  HRESULT(STDMETHODCALLTYPE* add_NavigationStarting)
  (ICoreWebView2* self, ICoreWebView2NavigationStartingEventHandler* handler, EventRegistrationToken* token);
  UnusedSlot Unused_remove_NavigationStarting;
  UnusedSlot Unused_add_ContentLoading;
  UnusedSlot Unused_remove_ContentLoading;
  UnusedSlot Unused_add_SourceChanged;
  UnusedSlot Unused_remove_SourceChanged;
  UnusedSlot Unused_add_HistoryChanged;
  UnusedSlot Unused_remove_HistoryChanged;
  UnusedSlot Unused_add_NavigationCompleted;
  UnusedSlot Unused_remove_NavigationCompleted;
  HRESULT(STDMETHODCALLTYPE* add_FrameNavigationStarting)
  (ICoreWebView2* self, ICoreWebView2NavigationStartingEventHandler* handler, EventRegistrationToken* token);
  UnusedSlot Unused_remove_FrameNavigationStarting;
  UnusedSlot Unused_add_FrameNavigationCompleted;
  UnusedSlot Unused_remove_FrameNavigationCompleted;
  UnusedSlot Unused_add_ScriptDialogOpening;
  UnusedSlot Unused_remove_ScriptDialogOpening;
  UnusedSlot Unused_add_PermissionRequested;
  UnusedSlot Unused_remove_PermissionRequested;
  UnusedSlot Unused_add_ProcessFailed;
  UnusedSlot Unused_remove_ProcessFailed;
  UnusedSlot Unused_AddScriptToExecuteOnDocumentCreated;
  UnusedSlot Unused_RemoveScriptToExecuteOnDocumentCreated;
  UnusedSlot Unused_ExecuteScript;
  UnusedSlot Unused_CapturePreview;
  UnusedSlot Unused_Reload;
  HRESULT(STDMETHODCALLTYPE* PostWebMessageAsJson)(ICoreWebView2* self, LPCWSTR webMessageAsJson);
  UnusedSlot Unused_PostWebMessageAsString;
  HRESULT(STDMETHODCALLTYPE* add_WebMessageReceived)
  (ICoreWebView2* self, ICoreWebView2WebMessageReceivedEventHandler* handler, EventRegistrationToken* token);
  UnusedSlot Unused_remove_WebMessageReceived;
  UnusedSlot Unused_CallDevToolsProtocolMethod;
  UnusedSlot Unused_get_BrowserProcessId;
  UnusedSlot Unused_get_CanGoBack;
  UnusedSlot Unused_get_CanGoForward;
  UnusedSlot Unused_GoBack;
  UnusedSlot Unused_GoForward;
  UnusedSlot Unused_GetDevToolsProtocolEventReceiver;
  UnusedSlot Unused_Stop;
  HRESULT(STDMETHODCALLTYPE* add_NewWindowRequested)
  (ICoreWebView2* self, ICoreWebView2NewWindowRequestedEventHandler* handler, EventRegistrationToken* token);
};

struct ICoreWebView2 {
  const ICoreWebView2Vtbl* lpVtbl;
  QF_WEBVIEW2_IUNKNOWN_MEMBERS
  HRESULT get_Settings(ICoreWebView2Settings** settings) { return lpVtbl->get_Settings(this, settings); }
  HRESULT NavigateToString(LPCWSTR htmlContent) { return lpVtbl->NavigateToString(this, htmlContent); }
  HRESULT PostWebMessageAsJson(LPCWSTR webMessageAsJson) {
    return lpVtbl->PostWebMessageAsJson(this, webMessageAsJson);
  }
  HRESULT add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler* handler, EventRegistrationToken* token) {
    return lpVtbl->add_WebMessageReceived(this, handler, token);
  }
  HRESULT add_NavigationStarting(ICoreWebView2NavigationStartingEventHandler* handler, EventRegistrationToken* token) {
    return lpVtbl->add_NavigationStarting(this, handler, token);
  }
  HRESULT add_FrameNavigationStarting(ICoreWebView2NavigationStartingEventHandler* handler,
                                      EventRegistrationToken* token) {
    return lpVtbl->add_FrameNavigationStarting(this, handler, token);
  }
  HRESULT add_NewWindowRequested(ICoreWebView2NewWindowRequestedEventHandler* handler, EventRegistrationToken* token) {
    return lpVtbl->add_NewWindowRequested(this, handler, token);
  }
};

// ---------------------------------------------------------------- settings

struct ICoreWebView2SettingsVtbl {
  QF_WEBVIEW2_IUNKNOWN_SLOTS(ICoreWebView2Settings);
  UnusedSlot Unused_get_IsScriptEnabled;
  UnusedSlot Unused_put_IsScriptEnabled;
  UnusedSlot Unused_get_IsWebMessageEnabled;
  UnusedSlot Unused_put_IsWebMessageEnabled;
  UnusedSlot Unused_get_AreDefaultScriptDialogsEnabled;
  UnusedSlot Unused_put_AreDefaultScriptDialogsEnabled;
  UnusedSlot Unused_get_IsStatusBarEnabled;
  HRESULT(STDMETHODCALLTYPE* put_IsStatusBarEnabled)(ICoreWebView2Settings* self, BOOL isStatusBarEnabled);
  UnusedSlot Unused_get_AreDevToolsEnabled;
  HRESULT(STDMETHODCALLTYPE* put_AreDevToolsEnabled)(ICoreWebView2Settings* self, BOOL areDevToolsEnabled);
  UnusedSlot Unused_get_AreDefaultContextMenusEnabled;
  HRESULT(STDMETHODCALLTYPE* put_AreDefaultContextMenusEnabled)(ICoreWebView2Settings* self, BOOL enabled);
  UnusedSlot Unused_get_AreHostObjectsAllowed;
  UnusedSlot Unused_put_AreHostObjectsAllowed;
  UnusedSlot Unused_get_IsZoomControlEnabled;
  HRESULT(STDMETHODCALLTYPE* put_IsZoomControlEnabled)(ICoreWebView2Settings* self, BOOL enabled);
  UnusedSlot Unused_get_IsBuiltInErrorPageEnabled;
  UnusedSlot Unused_put_IsBuiltInErrorPageEnabled;
};

struct ICoreWebView2Settings {
  const ICoreWebView2SettingsVtbl* lpVtbl;
  QF_WEBVIEW2_IUNKNOWN_MEMBERS
  HRESULT put_IsStatusBarEnabled(BOOL enabled) { return lpVtbl->put_IsStatusBarEnabled(this, enabled); }
  HRESULT put_AreDevToolsEnabled(BOOL enabled) { return lpVtbl->put_AreDevToolsEnabled(this, enabled); }
  HRESULT put_AreDefaultContextMenusEnabled(BOOL enabled) {
    return lpVtbl->put_AreDefaultContextMenusEnabled(this, enabled);
  }
  HRESULT put_IsZoomControlEnabled(BOOL enabled) { return lpVtbl->put_IsZoomControlEnabled(this, enabled); }
};

// ICoreWebView2Settings3 extends ICoreWebView2Settings2, which extends
// ICoreWebView2Settings: the base table, then two slots of Settings2, then two
// of its own.
struct ICoreWebView2Settings3;
struct ICoreWebView2Settings3Vtbl {
  ICoreWebView2SettingsVtbl settings;
  UnusedSlot Unused_get_UserAgent;
  UnusedSlot Unused_put_UserAgent;
  UnusedSlot Unused_get_AreBrowserAcceleratorKeysEnabled;
  HRESULT(STDMETHODCALLTYPE* put_AreBrowserAcceleratorKeysEnabled)(ICoreWebView2Settings3* self, BOOL enabled);
};

struct ICoreWebView2Settings3 {
  const ICoreWebView2Settings3Vtbl* lpVtbl;
  HRESULT QueryInterface(REFIID iid, void** out) { return lpVtbl->settings.QueryInterface(AsSettings(), iid, out); }
  ULONG AddRef() { return lpVtbl->settings.AddRef(AsSettings()); }
  ULONG Release() { return lpVtbl->settings.Release(AsSettings()); }
  HRESULT put_AreBrowserAcceleratorKeysEnabled(BOOL enabled) {
    return lpVtbl->put_AreBrowserAcceleratorKeysEnabled(this, enabled);
  }
  ICoreWebView2Settings* AsSettings() { return reinterpret_cast<ICoreWebView2Settings*>(this); }
};

// ---------------------------------------------------------------- navigation and new-window event arguments

struct ICoreWebView2NavigationStartingEventArgsVtbl {
  QF_WEBVIEW2_IUNKNOWN_SLOTS(ICoreWebView2NavigationStartingEventArgs);
  UnusedSlot Unused_get_Uri;
  UnusedSlot Unused_get_IsUserInitiated;
  UnusedSlot Unused_get_IsRedirected;
  UnusedSlot Unused_get_RequestHeaders;
  UnusedSlot Unused_get_Cancel;
  HRESULT(STDMETHODCALLTYPE* put_Cancel)(ICoreWebView2NavigationStartingEventArgs* self, BOOL cancel);
};

struct ICoreWebView2NavigationStartingEventArgs {
  const ICoreWebView2NavigationStartingEventArgsVtbl* lpVtbl;
  QF_WEBVIEW2_IUNKNOWN_MEMBERS
  HRESULT put_Cancel(BOOL cancel) { return lpVtbl->put_Cancel(this, cancel); }
};

struct ICoreWebView2NewWindowRequestedEventArgsVtbl {
  QF_WEBVIEW2_IUNKNOWN_SLOTS(ICoreWebView2NewWindowRequestedEventArgs);
  UnusedSlot Unused_get_Uri;
  UnusedSlot Unused_put_NewWindow;
  UnusedSlot Unused_get_NewWindow;
  HRESULT(STDMETHODCALLTYPE* put_Handled)(ICoreWebView2NewWindowRequestedEventArgs* self, BOOL handled);
};

// Handled with no new window set: no window opens (window.open gives the page
// a window object that loads nothing).
struct ICoreWebView2NewWindowRequestedEventArgs {
  const ICoreWebView2NewWindowRequestedEventArgsVtbl* lpVtbl;
  QF_WEBVIEW2_IUNKNOWN_MEMBERS
  HRESULT put_Handled(BOOL handled) { return lpVtbl->put_Handled(this, handled); }
};

// ---------------------------------------------------------------- web message event arguments

// Every text comes back allocated by the callee; the caller frees it with
// CoTaskMemFree.
struct ICoreWebView2WebMessageReceivedEventArgsVtbl {
  QF_WEBVIEW2_IUNKNOWN_SLOTS(ICoreWebView2WebMessageReceivedEventArgs);
  HRESULT(STDMETHODCALLTYPE* get_Source)(ICoreWebView2WebMessageReceivedEventArgs* self, LPWSTR* source);
  HRESULT(STDMETHODCALLTYPE* get_WebMessageAsJson)(ICoreWebView2WebMessageReceivedEventArgs* self, LPWSTR* json);
  HRESULT(STDMETHODCALLTYPE* TryGetWebMessageAsString)
  (ICoreWebView2WebMessageReceivedEventArgs* self, LPWSTR* text);
};

struct ICoreWebView2WebMessageReceivedEventArgs {
  const ICoreWebView2WebMessageReceivedEventArgsVtbl* lpVtbl;
  QF_WEBVIEW2_IUNKNOWN_MEMBERS
  HRESULT get_Source(LPWSTR* source) { return lpVtbl->get_Source(this, source); }
  HRESULT get_WebMessageAsJson(LPWSTR* json) { return lpVtbl->get_WebMessageAsJson(this, json); }
  // Fails with E_INVALIDARG when the page posted something other than a string.
  HRESULT TryGetWebMessageAsString(LPWSTR* text) { return lpVtbl->TryGetWebMessageAsString(this, text); }
};

// ---------------------------------------------------------------- handlers the program implements

struct ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandlerVtbl {
  QF_WEBVIEW2_IUNKNOWN_SLOTS(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler);
  HRESULT(STDMETHODCALLTYPE* Invoke)
  (ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* self, HRESULT errorCode,
   ICoreWebView2Environment* environment);
};

struct ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler {
  const ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandlerVtbl* lpVtbl;
  QF_WEBVIEW2_IUNKNOWN_MEMBERS
  HRESULT Invoke(HRESULT errorCode, ICoreWebView2Environment* environment) {
    return lpVtbl->Invoke(this, errorCode, environment);
  }
};

struct ICoreWebView2CreateCoreWebView2ControllerCompletedHandlerVtbl {
  QF_WEBVIEW2_IUNKNOWN_SLOTS(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler);
  HRESULT(STDMETHODCALLTYPE* Invoke)
  (ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* self, HRESULT errorCode,
   ICoreWebView2Controller* controller);
};

struct ICoreWebView2CreateCoreWebView2ControllerCompletedHandler {
  const ICoreWebView2CreateCoreWebView2ControllerCompletedHandlerVtbl* lpVtbl;
  QF_WEBVIEW2_IUNKNOWN_MEMBERS
  HRESULT Invoke(HRESULT errorCode, ICoreWebView2Controller* controller) {
    return lpVtbl->Invoke(this, errorCode, controller);
  }
};

struct ICoreWebView2WebMessageReceivedEventHandlerVtbl {
  QF_WEBVIEW2_IUNKNOWN_SLOTS(ICoreWebView2WebMessageReceivedEventHandler);
  HRESULT(STDMETHODCALLTYPE* Invoke)
  (ICoreWebView2WebMessageReceivedEventHandler* self, ICoreWebView2* sender,
   ICoreWebView2WebMessageReceivedEventArgs* args);
};

struct ICoreWebView2WebMessageReceivedEventHandler {
  const ICoreWebView2WebMessageReceivedEventHandlerVtbl* lpVtbl;
  QF_WEBVIEW2_IUNKNOWN_MEMBERS
  HRESULT Invoke(ICoreWebView2* sender, ICoreWebView2WebMessageReceivedEventArgs* args) {
    return lpVtbl->Invoke(this, sender, args);
  }
};

struct ICoreWebView2NavigationStartingEventHandlerVtbl {
  QF_WEBVIEW2_IUNKNOWN_SLOTS(ICoreWebView2NavigationStartingEventHandler);
  HRESULT(STDMETHODCALLTYPE* Invoke)
  (ICoreWebView2NavigationStartingEventHandler* self, ICoreWebView2* sender,
   ICoreWebView2NavigationStartingEventArgs* args);
};

struct ICoreWebView2NavigationStartingEventHandler {
  const ICoreWebView2NavigationStartingEventHandlerVtbl* lpVtbl;
  QF_WEBVIEW2_IUNKNOWN_MEMBERS
  HRESULT Invoke(ICoreWebView2* sender, ICoreWebView2NavigationStartingEventArgs* args) {
    return lpVtbl->Invoke(this, sender, args);
  }
};

struct ICoreWebView2NewWindowRequestedEventHandlerVtbl {
  QF_WEBVIEW2_IUNKNOWN_SLOTS(ICoreWebView2NewWindowRequestedEventHandler);
  HRESULT(STDMETHODCALLTYPE* Invoke)
  (ICoreWebView2NewWindowRequestedEventHandler* self, ICoreWebView2* sender,
   ICoreWebView2NewWindowRequestedEventArgs* args);
};

struct ICoreWebView2NewWindowRequestedEventHandler {
  const ICoreWebView2NewWindowRequestedEventHandlerVtbl* lpVtbl;
  QF_WEBVIEW2_IUNKNOWN_MEMBERS
  HRESULT Invoke(ICoreWebView2* sender, ICoreWebView2NewWindowRequestedEventArgs* args) {
    return lpVtbl->Invoke(this, sender, args);
  }
};

#undef QF_WEBVIEW2_IUNKNOWN_SLOTS
#undef QF_WEBVIEW2_IUNKNOWN_MEMBERS

// ---------------------------------------------------------------- the loader

// Exported by WebView2Loader.dll, imported at load time.
extern "C" HRESULT STDMETHODCALLTYPE CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR browserExecutableFolder, PCWSTR userDataFolder, ICoreWebView2EnvironmentOptions* environmentOptions,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler);

// ---------------------------------------------------------------- interface ids

__CRT_UUID_DECL(ICoreWebView2Environment, 0xb96d755e, 0x0319, 0x4e92, 0xa2, 0x96, 0x23, 0x43, 0x6f, 0x46, 0xa1, 0xfc)
__CRT_UUID_DECL(ICoreWebView2Controller, 0x4d00c0d1, 0x9434, 0x4eb6, 0x80, 0x78, 0x86, 0x97, 0xa5, 0x60, 0x33, 0x4f)
__CRT_UUID_DECL(ICoreWebView2Controller2, 0xc979903e, 0xd4ca, 0x4228, 0x92, 0xeb, 0x47, 0xee, 0x3f, 0xa9, 0x6e, 0xab)
__CRT_UUID_DECL(ICoreWebView2, 0x76eceacb, 0x0462, 0x4d94, 0xac, 0x83, 0x42, 0x3a, 0x67, 0x93, 0x77, 0x5e)
__CRT_UUID_DECL(ICoreWebView2Settings, 0xe562e4f0, 0xd7fa, 0x43ac, 0x8d, 0x71, 0xc0, 0x51, 0x50, 0x49, 0x9f, 0x00)
__CRT_UUID_DECL(ICoreWebView2WebMessageReceivedEventArgs, 0x0f99a40c, 0xe962, 0x4207, 0x9e, 0x92, 0xe3, 0xd5, 0x42,
                0xef, 0xf8, 0x49)
__CRT_UUID_DECL(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, 0x4e8a3389, 0xc9d8, 0x4bd2, 0xb6, 0xb5,
                0x12, 0x4f, 0xee, 0x6c, 0xc1, 0x4d)
__CRT_UUID_DECL(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, 0x6c4819f3, 0xc9b7, 0x4260, 0x81, 0x27, 0xc9,
                0xf5, 0xbd, 0xe7, 0xf6, 0x8c)
__CRT_UUID_DECL(ICoreWebView2WebMessageReceivedEventHandler, 0x57213f19, 0x00e6, 0x49fa, 0x8e, 0x07, 0x89, 0x8e, 0xa0,
                0x1e, 0xcb, 0xd2)
__CRT_UUID_DECL(ICoreWebView2Settings3, 0xfdb5ab74, 0xaf33, 0x4854, 0x84, 0xf0, 0x0a, 0x63, 0x1d, 0xeb, 0x5e, 0xba)
__CRT_UUID_DECL(ICoreWebView2NavigationStartingEventArgs, 0x5b495469, 0xe119, 0x438a, 0x9b, 0x18, 0x76, 0x04, 0xf2,
                0x5f, 0x2e, 0x49)
__CRT_UUID_DECL(ICoreWebView2NavigationStartingEventHandler, 0x9adbe429, 0xf36d, 0x432b, 0x9d, 0xdc, 0xf8, 0x88, 0x1f,
                0xbd, 0x76, 0xe3)
__CRT_UUID_DECL(ICoreWebView2NewWindowRequestedEventArgs, 0x34acb11c, 0xfc37, 0x4418, 0x91, 0x32, 0xf9, 0xc2, 0x1d,
                0x1e, 0xaf, 0xb9)
__CRT_UUID_DECL(ICoreWebView2NewWindowRequestedEventHandler, 0xd4c185fe, 0xc81c, 0x4989, 0x97, 0xaf, 0x2d, 0x3f, 0xa7,
                0xab, 0x56, 0x51)

namespace webview2_check {

// A second transcription of each id, in its registry form, read at compile
// time: a slip in either copy stops the build.
constexpr unsigned HexDigit(char c) {
  return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c - 'A' + 10;
}
constexpr unsigned long long Hex(const char* text, int digits) {
  unsigned long long value = 0;
  for (int i = 0; i < digits; ++i) value = value * 16 + HexDigit(text[i]);
  return value;
}
constexpr bool SameId(const GUID& id, const char (&text)[37]) {
  if (id.Data1 != Hex(text, 8) || id.Data2 != Hex(text + 9, 4) || id.Data3 != Hex(text + 14, 4)) return false;
  constexpr int kByteAt[8] = {19, 21, 24, 26, 28, 30, 32, 34};
  for (int i = 0; i < 8; ++i) {
    if (id.Data4[i] != Hex(text + kByteAt[i], 2)) return false;
  }
  return true;
}

static_assert(SameId(__uuidof(ICoreWebView2Environment), "B96D755E-0319-4E92-A296-23436F46A1FC"));
static_assert(SameId(__uuidof(ICoreWebView2Controller), "4D00C0D1-9434-4EB6-8078-8697A560334F"));
static_assert(SameId(__uuidof(ICoreWebView2Controller2), "C979903E-D4CA-4228-92EB-47EE3FA96EAB"));
static_assert(SameId(__uuidof(ICoreWebView2), "76ECEACB-0462-4D94-AC83-423A6793775E"));
static_assert(SameId(__uuidof(ICoreWebView2Settings), "E562E4F0-D7FA-43AC-8D71-C05150499F00"));
static_assert(SameId(__uuidof(ICoreWebView2WebMessageReceivedEventArgs), "0F99A40C-E962-4207-9E92-E3D542EFF849"));
static_assert(SameId(__uuidof(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler),
                     "4E8A3389-C9D8-4BD2-B6B5-124FEE6CC14D"));
static_assert(SameId(__uuidof(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler),
                     "6C4819F3-C9B7-4260-8127-C9F5BDE7F68C"));
static_assert(SameId(__uuidof(ICoreWebView2WebMessageReceivedEventHandler), "57213F19-00E6-49FA-8E07-898EA01ECBD2"));
static_assert(SameId(__uuidof(ICoreWebView2Settings3), "FDB5AB74-AF33-4854-84F0-0A631DEB5EBA"));
static_assert(SameId(__uuidof(ICoreWebView2NavigationStartingEventArgs), "5B495469-E119-438A-9B18-7604F25F2E49"));
static_assert(SameId(__uuidof(ICoreWebView2NavigationStartingEventHandler), "9ADBE429-F36D-432B-9DDC-F8881FBD76E3"));
static_assert(SameId(__uuidof(ICoreWebView2NewWindowRequestedEventArgs), "34ACB11C-FC37-4418-9132-F9C21D1EAFB9"));
static_assert(SameId(__uuidof(ICoreWebView2NewWindowRequestedEventHandler), "D4C185FE-C81C-4989-97AF-2D3FA7AB5651"));

}  // namespace webview2_check

// ---------------------------------------------------------------- slot positions

// The slot (0-based, IUnknown's three first) of a table field.
#define QF_WEBVIEW2_SLOT(Vtbl, field) (offsetof(Vtbl, field) / sizeof(void*))

static_assert(sizeof(UnusedSlot) == sizeof(void*));

static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2EnvironmentVtbl, QueryInterface) == 0);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2EnvironmentVtbl, AddRef) == 1);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2EnvironmentVtbl, Release) == 2);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2EnvironmentVtbl, CreateCoreWebView2Controller) == 3);
static_assert(sizeof(ICoreWebView2EnvironmentVtbl) == 4 * sizeof(void*));

static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2ControllerVtbl, QueryInterface) == 0);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2ControllerVtbl, AddRef) == 1);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2ControllerVtbl, Release) == 2);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2ControllerVtbl, put_IsVisible) == 4);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2ControllerVtbl, put_Bounds) == 6);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2ControllerVtbl, get_CoreWebView2) == 25);
static_assert(sizeof(ICoreWebView2ControllerVtbl) == 26 * sizeof(void*));

static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2Controller2Vtbl, controller) == 0);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2Controller2Vtbl, put_DefaultBackgroundColor) == 27);
static_assert(sizeof(ICoreWebView2Controller2Vtbl) == 28 * sizeof(void*));

static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2Vtbl, QueryInterface) == 0);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2Vtbl, AddRef) == 1);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2Vtbl, Release) == 2);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2Vtbl, get_Settings) == 3);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2Vtbl, NavigateToString) == 6);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2Vtbl, PostWebMessageAsJson) == 32);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2Vtbl, add_NavigationStarting) == 7);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2Vtbl, add_FrameNavigationStarting) == 17);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2Vtbl, add_WebMessageReceived) == 34);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2Vtbl, add_NewWindowRequested) == 44);
static_assert(sizeof(ICoreWebView2Vtbl) == 45 * sizeof(void*));

static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2SettingsVtbl, QueryInterface) == 0);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2SettingsVtbl, AddRef) == 1);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2SettingsVtbl, Release) == 2);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2SettingsVtbl, put_IsStatusBarEnabled) == 10);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2SettingsVtbl, put_AreDevToolsEnabled) == 12);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2SettingsVtbl, put_AreDefaultContextMenusEnabled) == 14);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2SettingsVtbl, put_IsZoomControlEnabled) == 18);
static_assert(sizeof(ICoreWebView2SettingsVtbl) == 21 * sizeof(void*));

static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2Settings3Vtbl, settings) == 0);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2Settings3Vtbl, put_AreBrowserAcceleratorKeysEnabled) == 24);
static_assert(sizeof(ICoreWebView2Settings3Vtbl) == 25 * sizeof(void*));

static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2NavigationStartingEventArgsVtbl, put_Cancel) == 8);
static_assert(sizeof(ICoreWebView2NavigationStartingEventArgsVtbl) == 9 * sizeof(void*));
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2NewWindowRequestedEventArgsVtbl, put_Handled) == 6);
static_assert(sizeof(ICoreWebView2NewWindowRequestedEventArgsVtbl) == 7 * sizeof(void*));

static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2WebMessageReceivedEventArgsVtbl, QueryInterface) == 0);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2WebMessageReceivedEventArgsVtbl, AddRef) == 1);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2WebMessageReceivedEventArgsVtbl, Release) == 2);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2WebMessageReceivedEventArgsVtbl, get_Source) == 3);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2WebMessageReceivedEventArgsVtbl, get_WebMessageAsJson) == 4);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2WebMessageReceivedEventArgsVtbl, TryGetWebMessageAsString) == 5);
static_assert(sizeof(ICoreWebView2WebMessageReceivedEventArgsVtbl) == 6 * sizeof(void*));

static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandlerVtbl, QueryInterface) == 0);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandlerVtbl, AddRef) == 1);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandlerVtbl, Release) == 2);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandlerVtbl, Invoke) == 3);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2CreateCoreWebView2ControllerCompletedHandlerVtbl, QueryInterface) == 0);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2CreateCoreWebView2ControllerCompletedHandlerVtbl, AddRef) == 1);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2CreateCoreWebView2ControllerCompletedHandlerVtbl, Release) == 2);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2CreateCoreWebView2ControllerCompletedHandlerVtbl, Invoke) == 3);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2WebMessageReceivedEventHandlerVtbl, QueryInterface) == 0);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2WebMessageReceivedEventHandlerVtbl, AddRef) == 1);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2WebMessageReceivedEventHandlerVtbl, Release) == 2);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2WebMessageReceivedEventHandlerVtbl, Invoke) == 3);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2NavigationStartingEventHandlerVtbl, Invoke) == 3);
static_assert(QF_WEBVIEW2_SLOT(ICoreWebView2NewWindowRequestedEventHandlerVtbl, Invoke) == 3);

#undef QF_WEBVIEW2_SLOT
