#pragma once
// The two run-state flags shared by the dispatcher (UI thread) and the run
// thread. Both start false. Every access is a sequentially consistent atomic
// load, store or exchange (std::atomic's default order); nothing else guards
// them.

#include <atomic>

// True while an optimize run is active; only the run writes it.
inline std::atomic<bool> g_running{false};
// Raised by the page's "cancel"; cleared by the run as it starts and read by it
// before each tweak.
inline std::atomic<bool> g_cancelRequested{false};
