#include "host/webview_host.h"

#include <shlobj.h>

#include <cwchar>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "app/dispatcher.h"
#include "host/com_handler.h"
#include "host/error_box.h"
#include "page/page_document.h"
#include "platform/data_folder.h"
#include "platform/machine.h"
#include "protocol/json_text.h"
#include "protocol/outbox.h"

using Microsoft::WRL::ComPtr;

ComPtr<ICoreWebView2Controller> g_controller;

namespace {

using OnEnvironmentCreated =
    ComHandler<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, HWND, HRESULT, ICoreWebView2Environment*>;
using OnControllerCreated =
    ComHandler<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, HWND, HRESULT, ICoreWebView2Controller*>;
using OnWebMessageReceived = ComHandler<ICoreWebView2WebMessageReceivedEventHandler, std::monostate, ICoreWebView2*,
                                        ICoreWebView2WebMessageReceivedEventArgs*>;
using OnNavigationStarting = ComHandler<ICoreWebView2NavigationStartingEventHandler, std::monostate, ICoreWebView2*,
                                        ICoreWebView2NavigationStartingEventArgs*>;
using OnNewWindowRequested = ComHandler<ICoreWebView2NewWindowRequestedEventHandler, std::monostate, ICoreWebView2*,
                                        ICoreWebView2NewWindowRequestedEventArgs*>;

// Opaque #07070D, the page's own background, shown until the page paints.
constexpr COREWEBVIEW2_COLOR kPageBackground = {0xFF, 0x07, 0x07, 0x0D};

// Set from the host's NavigateToString until that navigation starts (or the
// page it loaded speaks): the one navigation the web view may make.
bool g_documentNavigationPending = false;

const wchar_t* WideText(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// Reads one text out-parameter of the runtime (allocated by it, freed here
// with CoTaskMemFree). Nothing when the call fails or gives no text.
template <typename Getter>
std::optional<std::u16string> ReadRuntimeText(Getter get) {
  LPWSTR text = nullptr;
  const HRESULT result = get(&text);
  const std::unique_ptr<wchar_t, decltype(&CoTaskMemFree)> owned(text, &CoTaskMemFree);
  if (FAILED(result) || text == nullptr) return std::nullopt;
  return std::u16string(reinterpret_cast<const char16_t*>(text));
}

bool IsEmbeddedDocument(std::u16string_view source) {
  return source.substr(0, kEmbeddedDocumentSource.size()) == kEmbeddedDocumentSource &&
         (source.size() == kEmbeddedDocumentSource.size() || source[kEmbeddedDocumentSource.size()] == u'#');
}

void WebMessageReceived(const std::monostate&, ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs* args) {
  if (args == nullptr) return;
  // Only the embedded document may command this elevated process: a page the
  // web view reached by any navigation reports its own address and is ignored.
  const std::optional<std::u16string> source = ReadRuntimeText([&](LPWSTR* out) { return args->get_Source(out); });
  if (!source || !IsEmbeddedDocument(*source)) return;
  g_documentNavigationPending = false;

  // The page posts each command as a string holding its JSON text; a posted
  // object reaches the dispatcher as its JSON serialisation.
  std::optional<std::u16string> message =
      ReadRuntimeText([&](LPWSTR* out) { return args->TryGetWebMessageAsString(out); });
  if (!message) message = ReadRuntimeText([&](LPWSTR* out) { return args->get_WebMessageAsJson(out); });
  if (!message) return;
  HandlePageMessage(Utf16ToUtf8(*message));
}

// The embedded document is the only one the web view ever shows: the
// navigation the host starts proceeds; every other one (a link, a script
// setting the location, a form, a reload, back or forward) is cancelled.
void NavigationStarting(const std::monostate&, ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs* args) {
  if (args == nullptr || std::exchange(g_documentNavigationPending, false)) return;
  args->put_Cancel(TRUE);
}

// The page has no frames: a frame's navigation is cancelled too.
void FrameNavigationStarting(const std::monostate&, ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs* args) {
  if (args != nullptr) args->put_Cancel(TRUE);
}

// Handled, with no window given: nothing opens.
void NewWindowRequested(const std::monostate&, ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs* args) {
  if (args != nullptr) args->put_Handled(TRUE);
}

// Registers a handler made from `function` through `add`, which keeps its own
// reference for as long as the web view lives. False when it is not in place.
template <typename Handler, typename Interface, typename Function, typename Add>
bool AddHandler(Function function, Add add) {
  Interface* handler = Handler::Create(function, {});
  if (handler == nullptr) return false;
  EventRegistrationToken token{};
  const HRESULT result = add(handler, &token);
  handler->Release();
  return SUCCEEDED(result);
}

void ControllerCreated(const HWND& window, HRESULT result, ICoreWebView2Controller* controller) {
  if (FAILED(result) || controller == nullptr) {
    ShowErrorBox(window, NoWebViewText(FAILED(result) ? result : E_POINTER));
    PostQuitMessage(1);
    return;
  }
  g_controller = controller;

  {
    PageSink previous = std::move(g_webView);
    g_webView = nullptr;
  }
  ComPtr<ICoreWebView2> webView;
  controller->get_CoreWebView2(webView.ReleaseAndGetAddressOf());
  if (!webView) {
    PostQuitMessage(1);
    return;
  }
  g_webView = [webView](const std::u16string& json) { webView->PostWebMessageAsJson(WideText(json)); };

  // Runtimes older than the interface keep their default background.
  ComPtr<ICoreWebView2Controller2> controller2;
  if (SUCCEEDED(g_controller.As(&controller2))) controller2->put_DefaultBackgroundColor(kPageBackground);

  // No developer tools, no browser context menu, and no browser keys (reload,
  // back, find, print, zoom, ...): the window is the program, not a browser.
  // Runtimes older than ICoreWebView2Settings3 keep their keys, but a reload
  // or back they start is still a navigation, and cancelled.
  ComPtr<ICoreWebView2Settings> settings;
  webView->get_Settings(settings.ReleaseAndGetAddressOf());
  if (settings) {
    settings->put_AreDevToolsEnabled(FALSE);
    settings->put_AreDefaultContextMenusEnabled(FALSE);
    settings->put_IsStatusBarEnabled(FALSE);
    settings->put_IsZoomControlEnabled(FALSE);
    ComPtr<ICoreWebView2Settings3> settings3;
    if (SUCCEEDED(settings.As(&settings3))) settings3->put_AreBrowserAcceleratorKeysEnabled(FALSE);
  }

  controller->put_IsVisible(TRUE);
  RECT client{};
  GetClientRect(window, &client);
  controller->put_Bounds(client);

  // The handlers are in place before the page loads, so that its first
  // command ("ready") cannot be missed and no navigation passes unseen; the
  // page is not loaded without all of them.
  const bool handled =
      AddHandler<OnNavigationStarting, ICoreWebView2NavigationStartingEventHandler>(
          &NavigationStarting,
          [&](auto* handler, auto* token) { return webView->add_NavigationStarting(handler, token); }) &&
      AddHandler<OnNavigationStarting, ICoreWebView2NavigationStartingEventHandler>(
          &FrameNavigationStarting,
          [&](auto* handler, auto* token) { return webView->add_FrameNavigationStarting(handler, token); }) &&
      AddHandler<OnNewWindowRequested, ICoreWebView2NewWindowRequestedEventHandler>(
          &NewWindowRequested,
          [&](auto* handler, auto* token) { return webView->add_NewWindowRequested(handler, token); }) &&
      AddHandler<OnWebMessageReceived, ICoreWebView2WebMessageReceivedEventHandler>(
          &WebMessageReceived,
          [&](auto* handler, auto* token) { return webView->add_WebMessageReceived(handler, token); });
  if (!handled) {
    ShowErrorBox(window, NoWebViewText(E_FAIL));
    PostQuitMessage(1);
    return;
  }

  const std::u16string page = Utf8ToUtf16(std::string_view(kPageDocument, kPageDocumentSize));
  g_documentNavigationPending = true;
  webView->NavigateToString(WideText(page));
}

void EnvironmentCreated(const HWND& window, HRESULT result, ICoreWebView2Environment* environment) {
  if (SUCCEEDED(result) && environment != nullptr) {
    ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler =
        OnControllerCreated::Create(&ControllerCreated, window);
    environment->CreateCoreWebView2Controller(window, handler);
    if (handler != nullptr) handler->Release();
    return;
  }
  ShowErrorBox(window, NoRuntimeText(FAILED(result) ? result : E_POINTER));
  PostQuitMessage(1);
}

// The loader reads these variables before its arguments (Microsoft documents
// WEBVIEW2_BROWSER_EXECUTABLE_FOLDER, WEBVIEW2_USER_DATA_FOLDER,
// WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS, WEBVIEW2_CHANNEL_SEARCH_KIND,
// WEBVIEW2_RELEASE_CHANNELS, WEBVIEW2_RELEASE_CHANNEL_PREFERENCE,
// WEBVIEW2_WAIT_FOR_SCRIPT_DEBUGGER and WEBVIEW2_PIPE_FOR_SCRIPT_DEBUGGER):
// another browser, another data folder, a remote debugging port. The
// environment comes from the user's registry, which an unelevated process
// can write, so every variable named WEBVIEW2_* goes.
void DropWebViewVariables() {
  constexpr std::wstring_view kPrefix = L"WEBVIEW2_";
  std::vector<std::wstring> names;
  if (wchar_t* block = GetEnvironmentStringsW()) {
    for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
      const std::wstring_view text(entry);
      const size_t equals = text.find(L'=', 1);
      if (equals != std::wstring_view::npos && equals >= kPrefix.size() &&
          CompareStringOrdinal(entry, static_cast<int>(kPrefix.size()), kPrefix.data(),
                               static_cast<int>(kPrefix.size()), TRUE) == CSTR_EQUAL) {
        names.emplace_back(text.substr(0, equals));
      }
    }
    FreeEnvironmentStringsW(block);
  }
  for (const std::wstring& name : names) SetEnvironmentVariableW(name.c_str(), nullptr);
}

// The web view's user data folder. The loader's default is beside the .exe,
// where an unelevated process may have prepared one; elevated, it is the
// administrators-only program folder under %ProgramData%. Unelevated there is
// no boundary to defend: the user's own local application data. Nothing when
// no such folder can be had.
std::optional<std::wstring> UserDataFolder() {
  if (platform::ProcessIsElevated()) {
    const std::u16string folder = platform::AdministratorsDataFolder();
    if (folder.empty()) return std::nullopt;
    return std::wstring(reinterpret_cast<const wchar_t*>(folder.c_str()), folder.size()) + L"WebView2";
  }
  PWSTR local = nullptr;
  const HRESULT found = SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local);
  const std::unique_ptr<wchar_t, decltype(&CoTaskMemFree)> owned(local, &CoTaskMemFree);
  if (FAILED(found)) return std::nullopt;
  return std::wstring(local) + L"\\Quarnfeld Optimizer\\WebView2";
}

}  // namespace

bool CreateWebView(HWND window) {
  const std::optional<std::wstring> dataFolder = UserDataFolder();
  if (!dataFolder) {
    ShowErrorBox(window, NoDataFolderText());
    return false;
  }
  DropWebViewVariables();
  // Without memory for the handler the loader is called without one, and
  // fails.
  ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler =
      OnEnvironmentCreated::Create(&EnvironmentCreated, window);
  const HRESULT result = CreateCoreWebView2EnvironmentWithOptions(nullptr, dataFolder->c_str(), nullptr, handler);
  if (handler != nullptr) handler->Release();
  if (FAILED(result)) ShowErrorBox(window, NoRuntimeText(result));
  return SUCCEEDED(result);
}
