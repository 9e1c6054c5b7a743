// The scripted page. Once the program has navigated, the lines of the file
// named by QF_WV2_PAGE are played one by one from the message loop:
//   post-string <source> <text>  the page posts <text> as a string
//   post-json <source> <json>    the page posts an object whose JSON is <json>
//   await <text>                 wait until a message posted to the page after
//                                the previous await contains <text> (90 s at most)
//   wait <ms>                    let the program run for a while
//   navigate <uri>               the page starts a navigation of the document
//                                (a link, a script setting location, a reload)
//   frame-navigate <uri>         a frame of the page starts a navigation
//   new-window <uri>             the page asks for a new window (window.open,
//                                a link with a target)
// In a posted text, $id{<tweak name>} becomes the id that the latest "init"
// gave the tweak of that name. Blank lines and lines starting with # are skipped.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tools/webview2_standin/standin.h"

namespace standin {

namespace {

constexpr DWORD kAwaitLimitMs = 90000;

ICoreWebView2WebMessageReceivedEventHandler* g_handler = nullptr;
ICoreWebView2NavigationStartingEventHandler* g_navigationHandlers[2] = {};
ICoreWebView2NewWindowRequestedEventHandler* g_newWindowHandler = nullptr;
ICoreWebView2* g_webView = nullptr;
std::vector<std::string> g_lines;
size_t g_next = 0;
std::vector<std::string> g_received;
size_t g_awaitFrom = 0;
DWORD g_awaitStart = 0;

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), length);
  return out;
}

// The id of the named tweak in the latest "init", or "" when it has none.
std::string TweakId(const std::string& name) {
  for (auto message = g_received.rbegin(); message != g_received.rend(); ++message) {
    if (message->find("\"type\":\"init\"") == std::string::npos) continue;
    const size_t at = message->find("\"name\":\"" + name + "\"");
    const size_t id = at == std::string::npos ? at : message->rfind("\"id\":", at);
    if (id == std::string::npos) return {};
    return message->substr(id + 5, message->find(',', id) - id - 5);
  }
  return {};
}

std::string SubstituteIds(std::string text) {
  for (size_t at; (at = text.find("$id{")) != std::string::npos;) {
    const size_t end = text.find('}', at);
    if (end == std::string::npos) break;
    text.replace(at, end + 1 - at, TweakId(text.substr(at + 4, end - at - 4)));
  }
  return text;
}

void Post(const std::string& source, bool asString, const std::string& text) {
  if (g_handler == nullptr) {
    Log("Page: no web message handler registered");
    return;
  }
  ICoreWebView2WebMessageReceivedEventArgs* args = NewEventArgs(Wide(source), asString, Wide(text));
  const HRESULT result = g_handler->Invoke(g_webView, args);
  Log("WebMessageReceivedEventHandler.Invoke returned " + Hex(result));
  args->Release();
}

// Keeps one reference to `handler` in `slot`, releasing the one it held.
template <typename Handler>
void Keep(Handler*& slot, Handler* handler, const char* name) {
  if (handler != nullptr) handler->AddRef();
  if (slot != nullptr) Log(std::string(name) + ".Release -> " + std::to_string(slot->Release()));
  slot = handler;
}

const char* KindName(Navigation kind) { return kind == Navigation::kDocument ? "" : "Frame"; }

void NewWindow(const std::string& uri) {
  BOOL handled = FALSE;
  if (g_newWindowHandler != nullptr) {
    ICoreWebView2NewWindowRequestedEventArgs* args = NewNewWindowArgs(&handled);
    const HRESULT result = g_newWindowHandler->Invoke(g_webView, args);
    Log("NewWindowRequestedEventHandler.Invoke returned " + Hex(result));
    args->Release();
  }
  Log("NewWindowRequested " + uri + (handled ? " -> handled" : " -> window opened"));
}

void Step() {
  while (g_next < g_lines.size()) {
    const std::string& line = g_lines[g_next];
    const size_t space = line.find(' ');
    const std::string command = line.substr(0, space);
    const std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
    if (command.empty() || command[0] == '#') {
      ++g_next;
      continue;
    }
    if (command == "post-string" || command == "post-json") {
      const size_t split = rest.find(' ');
      const std::string source = rest.substr(0, split);
      const std::string text = SubstituteIds(split == std::string::npos ? std::string() : rest.substr(split + 1));
      Log("Page " + command + " " + source + " " + text);
      ++g_next;
      Post(source, command == "post-string", text);
      // Each message reaches the program from its own turn of the message loop.
      Schedule(1, &Step);
      return;
    }
    if (command == "await") {
      for (size_t i = g_awaitFrom; i < g_received.size(); ++i) {
        if (g_received[i].find(rest) != std::string::npos) {
          Log("Page await " + rest + " -> found");
          g_awaitFrom = i + 1;
          g_awaitStart = 0;
          ++g_next;
          Schedule(1, &Step);
          return;
        }
      }
      if (g_awaitStart == 0) g_awaitStart = GetTickCount();
      if (GetTickCount() - g_awaitStart > kAwaitLimitMs) {
        Log("Page await " + rest + " -> timed out");
        g_next = g_lines.size();
        break;
      }
      Schedule(50, &Step);
      return;
    }
    if (command == "navigate" || command == "frame-navigate") {
      ++g_next;
      StartNavigation(g_webView, command == "navigate" ? Navigation::kDocument : Navigation::kFrame, rest);
      Schedule(1, &Step);
      return;
    }
    if (command == "new-window") {
      ++g_next;
      NewWindow(rest);
      Schedule(1, &Step);
      return;
    }
    if (command == "wait") {
      Log("Page wait " + rest);
      ++g_next;
      Schedule(static_cast<UINT>(std::stoul(rest)), &Step);
      return;
    }
    Log("Page: unknown command " + line);
    ++g_next;
  }
  Log("Page script done");
}

}  // namespace

void PageNavigated(ICoreWebView2* webView) {
  g_webView = webView;
  const std::string path = Variable("QF_WV2_PAGE");
  if (path.empty()) return;
  std::ifstream script(path);
  for (std::string line; std::getline(script, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    g_lines.push_back(line);
  }
  Schedule(50, &Step);
}

void PageReceived(const std::string& json) { g_received.push_back(json); }

void SetNavigationHandler(Navigation kind, ICoreWebView2NavigationStartingEventHandler* handler) {
  Keep(g_navigationHandlers[static_cast<int>(kind)], handler,
       kind == Navigation::kDocument ? "NavigationStartingEventHandler" : "FrameNavigationStartingEventHandler");
}

void SetNewWindowHandler(ICoreWebView2NewWindowRequestedEventHandler* handler) {
  Keep(g_newWindowHandler, handler, "NewWindowRequestedEventHandler");
}

bool StartNavigation(ICoreWebView2* sender, Navigation kind, const std::string& uri) {
  BOOL cancel = FALSE;
  if (ICoreWebView2NavigationStartingEventHandler* handler = g_navigationHandlers[static_cast<int>(kind)]) {
    ICoreWebView2NavigationStartingEventArgs* args = NewNavigationArgs(&cancel);
    const HRESULT result = handler->Invoke(sender, args);
    Log(std::string(KindName(kind)) + "NavigationStartingEventHandler.Invoke returned " + Hex(result));
    args->Release();
  }
  Log(std::string(KindName(kind)) + "NavigationStarting " + uri + (cancel ? " -> cancelled" : " -> allowed"));
  return !cancel;
}

void SetPageHandler(ICoreWebView2WebMessageReceivedEventHandler* handler) {
  if (handler != nullptr) handler->AddRef();
  if (g_handler != nullptr) Log("WebMessageReceivedEventHandler.Release -> " + std::to_string(g_handler->Release()));
  g_handler = handler;
  if (handler == nullptr) g_webView = nullptr;
}

}  // namespace standin
