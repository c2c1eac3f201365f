// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SIGINT, SIGTERM and SIGHUP (Ctrl+C, kill, a closed terminal, the end of
// the session) as a request to end through the program's normal exit path:
// files saved, temporary folders removed. The handler only notes the signal
// and writes a byte to a pipe, the only safe things to do there; the program
// looks at the note where it waits (an event loop watches the pipe, a
// network wait asks between its poll slices).
//
// Each signal is caught once: the same signal again ends the program at
// once, for a user who would rather not wait for the exit steps.

// Installs the handlers (again a no-op). Returns the pipe's read end, which
// turns readable when a signal comes (also for one that came before), or -1
// when no pipe could be made (the signals are still noted).
int CatchQuitSignals();

// The first signal caught so far, or 0.
int CaughtQuitSignal();

// For idle hooks of waits that should give up once a quit signal came:
// throws Exception "Interrupted." then, else returns.
void ThrowIfQuitSignal();

// Ends the process by the signal caught, with that signal's default action,
// so that its parent (a shell, a service manager) learns how it ended.
// Returns when no signal was caught.
void EndByCaughtQuitSignal();
