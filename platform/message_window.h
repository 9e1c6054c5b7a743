#pragma once
// Waking the UI thread: a window that receives messages posted from any thread
// and handles them later, one at a time and in posting order, on the thread
// that runs the message loop.
//
// On Windows a window is an HWND and this is the real thing: a message-only
// window, PostMessageW, and a GetMessageW loop. Any window of the loop's
// thread works with PostWindowMessage and the loop, including the host's main
// window with its own window procedure. On POSIX a stand-in gives the same
// semantics in process, so code built on it (the outbox, the page bridge)
// runs and is tested natively; it keeps one message queue for the process,
// served by whichever thread runs the loop.

#include <cstdint>

namespace platform {

// A window handle: an HWND on Windows. Null means no window.
using Window = void*;

// The first message number that a program may use for its own messages
// (WM_APP). Handlers see only messages from here up to 0xBFFF.
inline constexpr uint32_t kFirstPrivateMessage = 0x8000;

// Called on the loop's thread for each private message posted to the window.
using MessageHandler = void (*)(uint32_t message);

// A window owned by the calling thread whose private messages go to handler.
// Null on failure.
Window CreateMessageWindow(MessageHandler handler);
// Messages still queued for the window are dropped; posting to it fails.
void DestroyMessageWindow(Window window);

// Any thread. Queues message (wParam and lParam 0) for the thread of window,
// which must not be null, and returns at once; false when the window is gone
// or the queue is full.
bool PostWindowMessage(Window window, uint32_t message);

// Dispatches posted messages in order until QuitMessageLoop; returns its code,
// or -1 when the system cannot read the queue.
int RunMessageLoop();
// Loop thread only. The loop ends with exitCode once every message posted
// before it ends (also those posted by handlers meanwhile) has been handled.
void QuitMessageLoop(int exitCode);

}  // namespace platform
