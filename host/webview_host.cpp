#include "host/webview_host.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "app/dispatcher.h"
#include "host/com_handler.h"
#include "host/error_box.h"
#include "page/page_document.h"
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

// Opaque #07070D, the page's own background, shown until the page paints.
constexpr COREWEBVIEW2_COLOR kPageBackground = {0xFF, 0x07, 0x07, 0x0D};

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

  // The page posts each command as a string holding its JSON text; a posted
  // object reaches the dispatcher as its JSON serialisation.
  std::optional<std::u16string> message =
      ReadRuntimeText([&](LPWSTR* out) { return args->TryGetWebMessageAsString(out); });
  if (!message) message = ReadRuntimeText([&](LPWSTR* out) { return args->get_WebMessageAsJson(out); });
  if (!message) return;
  HandlePageMessage(Utf16ToUtf8(*message));
}

void ControllerCreated(const HWND& window, HRESULT result, ICoreWebView2Controller* controller) {
  if (FAILED(result) || controller == nullptr) {
    ShowErrorBox(window, L"CreateCoreWebView2Controller failed");
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

  ComPtr<ICoreWebView2Settings> settings;
  webView->get_Settings(settings.ReleaseAndGetAddressOf());
  if (settings) {
    settings->put_AreDevToolsEnabled(TRUE);
    settings->put_AreDefaultContextMenusEnabled(FALSE);
    settings->put_IsStatusBarEnabled(FALSE);
    settings->put_IsZoomControlEnabled(FALSE);
  }

  controller->put_IsVisible(TRUE);
  RECT client{};
  GetClientRect(window, &client);
  controller->put_Bounds(client);

  // The handler is in place before the page loads, so its first command
  // ("ready") cannot be missed. It stays registered as long as the web view.
  ICoreWebView2WebMessageReceivedEventHandler* handler = OnWebMessageReceived::Create(&WebMessageReceived, {});
  EventRegistrationToken token{};
  webView->add_WebMessageReceived(handler, &token);
  if (handler != nullptr) handler->Release();

  const std::u16string page = Utf8ToUtf16(std::string_view(kPageDocument, kPageDocumentSize));
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
  ShowErrorBox(window, std::wstring(L"Failed to initialize WebView2.\nPlease install the Microsoft Edge WebView2 "
                                    L"Runtime:\n") +
                           kRuntimeDownloadAddress);
  PostQuitMessage(1);
}

}  // namespace

HRESULT CreateWebView(HWND window) {
  // Without memory for the handler the loader is called without one, and its
  // failure is returned.
  ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler =
      OnEnvironmentCreated::Create(&EnvironmentCreated, window);
  const HRESULT result = CreateCoreWebView2EnvironmentWithOptions(nullptr, nullptr, nullptr, handler);
  if (handler != nullptr) handler->Release();
  return result;
}
