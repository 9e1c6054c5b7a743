#pragma once
// A stand-in for Microsoft's WebView2Loader.dll, built only for the host
// tests and never shipped. It implements just enough of the environment,
// controller (with Controller2), web view, settings and web-message event
// arguments to let the real executable run its whole web view chain, records
// every call it receives, and plays a scripted page.
//
// Driven by environment variables:
//   QF_WV2_LOG        file that receives one UTF-8 line per call (appended)
//   QF_WV2_NAVIGATED  file that receives the text given to NavigateToString, as UTF-8
//   QF_WV2_PAGE       page script played once the page has been navigated to
//   QF_WV2_FAIL       failures to play, separated by commas: "loader" (the
//                     loader call fails), "environment" or "controller" (that
//                     creation completes with a failure and no object),
//                     "webview" (the controller gives no web view),
//                     "controller2" or "settings3" (the runtime is older than
//                     ICoreWebView2Controller2 or ICoreWebView2Settings3),
//                     "navigation-handler" or "frame-navigation-handler"
//                     (that add_ call fails)
//
// Like the runtime, it calls the program's handlers later, from the message
// loop of the thread that created the environment (thread timers).

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "host/webview2.h"

namespace standin {

// One line in the log. A call that arrives on a thread other than the one
// that created the environment is marked " [other thread]".
void Log(const std::string& line);
std::string Utf8(std::wstring_view text);
std::string Utf8(LPCWSTR text);  // "(null)" for null
std::string Hex(unsigned long value);
std::string Variable(const char* name);
bool Failing(std::string_view what);

// Runs action on the UI thread from the message loop, after delayMs.
void Schedule(UINT delayMs, std::function<void()> action);

// Objects handed to the program, each with one reference for the caller.
ICoreWebView2Environment* NewEnvironment();
ICoreWebView2Controller* NewController(HWND parent);
ICoreWebView2* NewWebView();
ICoreWebView2Settings* NewSettings();
ICoreWebView2WebMessageReceivedEventArgs* NewEventArgs(std::wstring source, bool asString, std::wstring message);
// Event arguments that write the program's answer (put_Cancel, put_Handled) to *answer.
ICoreWebView2NavigationStartingEventArgs* NewNavigationArgs(BOOL* cancel);
ICoreWebView2NewWindowRequestedEventArgs* NewNewWindowArgs(BOOL* handled);

// The page: what the web view posts to it, and the handler it posts to.
void PageNavigated(ICoreWebView2* webView);
void PageReceived(const std::string& json);
void SetPageHandler(ICoreWebView2WebMessageReceivedEventHandler* handler);

// Navigations: of the document (NavigationStarting) or of a frame in it
// (FrameNavigationStarting). The program's handlers are kept (null releases
// them); StartNavigation asks the handler and says whether the navigation goes
// ahead, logging "<Kind>NavigationStarting <uri> -> allowed|cancelled".
enum class Navigation { kDocument, kFrame };
void SetNavigationHandler(Navigation kind, ICoreWebView2NavigationStartingEventHandler* handler);
void SetNewWindowHandler(ICoreWebView2NewWindowRequestedEventHandler* handler);
bool StartNavigation(ICoreWebView2* sender, Navigation kind, const std::string& uri);
// The address the stand-in reports for the navigation NavigateToString starts
// (the program must not depend on it).
inline constexpr char kNavigateToStringUri[] = "data:text/html;charset=utf-8;base64,PCFET0NUWVBFIGh0bWw+";

// Unused slots log their interface and slot when called, so a call through a
// wrong slot shows up in the log.
template <const char* kInterface, int kSlot>
HRESULT STDMETHODCALLTYPE UnusedSlotCalled(void*) {
  Log(std::string(kInterface) + ".slot" + std::to_string(kSlot) + " called (not expected)");
  return E_NOTIMPL;
}

}  // namespace standin
