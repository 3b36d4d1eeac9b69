// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Blocking work off the window's thread.
//
// The windows never wait on the logger's line. The desktop program gives the
// port a work runner (TSerCom::SetWorkRunner) that calls RunOffThread: each
// blocking piece of port work (opening the port with its name look-up and
// connection, every exchange) then runs on a worker thread of its own while
// the window's thread runs a local event loop, so the windows keep painting
// and their buttons answer. When a piece lasts longer than 300 ms a small
// window with an Abort button appears; that button, closing that window, any
// progress window's Abort and a termination signal call AbortRunningWork,
// which asks the work to give up (for the port: RequestAbort, noticed within
// 50 ms).
//
// Only the waiting moves: the work's caller stays on the window's thread, so
// tables and windows are touched by that thread alone. Commands started from
// the local event loop that need the port meanwhile are refused at once by
// the port's busy flag.

#include <functional>

namespace kolvex::ui {

// Runs `work` and returns when it has ended, passing its exception on. On the
// window's thread the work runs on a worker thread; elsewhere (or with no
// application object) in place. `abort` is called on the window's thread when
// the work is asked to give up.
void RunOffThread(const std::function<void()>& work, const std::function<void()>& abort);
// Asks the work that runs now, if any, to give up.
void AbortRunningWork();
// True while RunOffThread waits for its work.
bool WorkRunning();

}  // namespace kolvex::ui
