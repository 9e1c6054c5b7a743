#pragma once
// The two run-state flags shared by the dispatcher (UI thread) and the run
// thread. Both start false. Every access is a sequentially consistent atomic
// load, store or exchange (std::atomic's default order); nothing else guards
// them.

#include <atomic>

// True while an optimize run is active; only the run writes it.
inline std::atomic<bool> g_running{false};
// Raised by the page's "cancel"; cleared by the dispatcher when it accepts a
// run, before the run's thread starts (so a cancel sent in between counts),
// and read by the run before each tweak.
inline std::atomic<bool> g_cancelRequested{false};
