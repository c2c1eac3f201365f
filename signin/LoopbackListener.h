// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one-shot redirect listener of a native app's sign-in (RFC 8252 7.3):
// an HTTP listener on 127.0.0.1 at a port the system picks, which waits for
// the browser to come back from the identity server with "?code=...&state=...".
// It takes only a GET of "/" whose state is the one we sent, answers the
// browser with a small plain page ("You can close this window."), and
// closes. Anything else gets an error page and the wait goes on, so that
// another program on this machine can neither end nor steer a sign-in; nor
// keep the browser out by holding connections open.
//
// Threads: one object, one thread; WaitForCode blocks that thread.
#include "signin/StopHook.h"

#include <string>

class TLoopbackListener {
public:
    // Binds and listens on 127.0.0.1, port 0. Throws ESignInError when the
    // system refuses.
    TLoopbackListener();
    ~TLoopbackListener();
    TLoopbackListener(const TLoopbackListener&) = delete;
    TLoopbackListener& operator=(const TLoopbackListener&) = delete;

    int Port() const { return m_port; }
    // "http://127.0.0.1:PORT/", the redirect_uri of the authorization request.
    std::string RedirectUri() const;

    // Serves the browser until it brings the redirect carrying state, then
    // returns its code and closes the listener. Throws ESignInError when the
    // redirect carries an error for our state instead (the user refused:
    // "access_denied"), when no such redirect came within timeoutSeconds, or
    // when stop asked to give up; the listener is closed then as well.
    std::string WaitForCode(const std::string& state, int timeoutSeconds, const TStopHook& stop = {});

private:
    void close();

    int m_fd = -1;
    int m_port = 0;
};
