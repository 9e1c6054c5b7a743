#pragma once
// The outbox carries every message for the page from the thread that made it
// to the UI thread, the only thread that may talk to the web view.
//
// Producers (the UI thread and the run thread) append finished JSON texts to
// one process-wide FIFO queue and post WM_OUTBOX to g_mainWindow, one
// notification per push. The UI thread answers WM_OUTBOX with DrainOutbox,
// which takes the whole queue at once and hands the texts, front to back, to
// g_webView. The outbox's one mutex is held for one append or one swap, never
// across a platform call, so a producer never waits for the web view.
//
// How the two ends plug in, so that this layer needs no WebView2 declarations
// and runs whole in native tests:
// - Waking: g_mainWindow is a platform::Window (platform/message_window.h).
//   The Windows host stores its main window's HWND there and calls DrainOutbox
//   from its window procedure on WM_OUTBOX; the page bridge creates a message
//   window whose handler does the same. A push posts with
//   platform::PostWindowMessage (PostMessageW on Windows).
// - Delivery: g_webView is the page as the outbox sees it, a function that
//   hands one JSON text to the page. The Windows host sets it to a function
//   that owns a counted reference to its ICoreWebView2 and calls
//   PostWebMessageAsJson with the text; the bridge sets it to one that prints
//   the text as a line. Resetting it releases what it holds; to clear it
//   before releasing, move it out first: `PageSink old = std::move(g_webView);
//   g_webView = nullptr;`.
//
// The queue is never destroyed: when closing the window ends the process, a run
// thread may still be pushing, and its pushes keep touching live memory until
// the process is gone. Texts still queued then are discarded unsent.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/message_window.h"

// The private window message that wakes the UI thread (WM_APP + 1, wParam and
// lParam 0).
inline constexpr uint32_t WM_OUTBOX = platform::kFirstPrivateMessage + 1;

using PageSink = std::function<void(const std::u16string& json)>;

// The window that receives WM_OUTBOX. Unset at process start; set once on the
// UI thread when the window exists. While unset, pushes queue their texts
// without a notification and they wait for the next drain.
extern std::atomic<platform::Window> g_mainWindow;
// Where drained texts go. UI thread only. Unset at process start and until the
// web view exists; a drain while it is unset discards the texts it took.
extern PageSink g_webView;

// Any thread: queue one JSON text for the page and wake the UI thread. A
// temporary is moved into the queue instead of copied.
void PostToPage(const std::u16string& json);
void PostToPage(std::u16string&& json);
// Any thread: the same for a UTF-8 text, converted outside the lock (invalid
// sequences become U+FFFD).
void PostToPageUtf8(const std::string& json);

// UI thread only: hand every queued text to g_webView, in queue order. A text
// pushed on the UI thread is therefore never delivered inside its own push.
void DrainOutbox();
