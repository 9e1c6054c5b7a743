#pragma once
// The web view in the main window: CreateWebView starts the asynchronous
// WebView2 chain (environment, then controller); when the controller exists
// the page document is loaded into it and its messages go to the dispatcher.
// Everything here runs on the UI thread.

#include <windows.h>

#include <wrl/client.h>

#include <string_view>

#include "host/webview2.h"

// The controller of the web view: set when it has been created, released by
// wWinMain after the message loop. The web view itself is g_webView of the
// outbox, which holds its own reference.
extern Microsoft::WRL::ComPtr<ICoreWebView2Controller> g_controller;

// Starts creating the web view for the window. False when the chain did not
// start, after an error box has said why; later failures are reported by the
// chain itself, which then ends the message loop with exit code 1.
bool CreateWebView(HWND window);

// The address under which the web view reports the embedded document: the
// page is loaded with NavigateToString, whose documents have the origin
// about:blank. Page messages from any other source are ignored; a jump to a
// fragment of the same document (about:blank#name) keeps the document.
inline constexpr std::u16string_view kEmbeddedDocumentSource = u"about:blank";
