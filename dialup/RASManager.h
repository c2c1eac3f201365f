// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The dial-up manager: finds which phonebook entries have a connection up
// and hangs them up. It never dials. The phonebook is RasPlatform: the ppp
// peers folder with its pppd processes, and NetworkManager's mobile
// broadband, PPPoE and Bluetooth links.
//
// Plain C++, used on the interface thread: every call blocks until the
// system answers (NetworkManager calls give up after NmCallTimeoutMs). The
// owner window drives the one-second tick and fills the message hook.
#include "dialup/RasPlatform.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TRASManager;

// Connection progress: message, state, error. Nothing raises it yet.
using TOnConnectingEvent = std::function<void(TRASManager& Sender, int32_t Msg, int32_t State, int32_t Error)>;
// A phonebook call failed with this error code.
using TOnErrorEvent = std::function<void(TRASManager& Sender, int32_t Error)>;
using TNotifyEvent = std::function<void(TRASManager& Sender)>;
// The system refused to hang up the connection of entry EntryName.
using TOnHangUpRefusedEvent = std::function<void(TRASManager& Sender, const std::string& EntryName)>;
// Shows text in an error message box with an OK button.
using TMessageHook = std::function<void(const std::string& text)>;

// What GetDialParams reads. Only the entry's existence is used.
struct TRasDialParams {
    std::string EntryName;
};

// The text the window shows for a refused hang-up of entryName.
std::string HangUpRefusedText(const std::string& entryName);

class TRASManager {
public:
    // The system's phonebook (RasPlatform::System: the environment chooses
    // the folders and the bus).
    TRASManager();
    // Another phonebook, for tests and other platforms.
    explicit TRASManager(std::unique_ptr<dialup::RasPlatform> platform);
    ~TRASManager();
    TRASManager(const TRASManager&) = delete;
    TRASManager& operator=(const TRASManager&) = delete;

    // Stored, read by nothing.
    bool DialAsync = false;
    TOnConnectingEvent OnConnecting;
    // Receives the error code when GetDialParams fails (623: no such entry).
    TOnErrorEvent OnError;
    // Fires once when the tick count reaches a Timeout above 0.
    TNotifyEvent OnTimeout;
    // Fires from HangUp when the system refuses to end the connection (pppd
    // runs as another user, NetworkManager says no or does not answer); the
    // window shows HangUpRefusedText(EntryName). Without a handler the
    // refusal is lost.
    TOnHangUpRefusedEvent OnHangUpRefused;
    // Where the validating Timeout setter shows its error; without a hook the
    // text goes to standard error.
    TMessageHook ShowErrorMessage;

    // One-second ticks after which OnTimeout fires; 0 means never.
    int32_t Timeout() const { return m_timeout; }
    // A negative value shows "RASManager: Invalid Timeout value (0..MaxInt)"
    // through ShowErrorMessage and keeps the old value; nothing is thrown.
    void SetTimeout(int32_t value);

    // The tick timer is the owner's: while TickTimerEnabled() is true the
    // owner calls Tick() every TickIntervalMs. Disabled at creation; HangUp
    // disables it.
    static constexpr int TickIntervalMs = 1000;
    bool TickTimerEnabled() const { return m_tickTimerEnabled; }
    void SetTickTimerEnabled(bool enabled) { m_tickTimerEnabled = enabled; }
    // One tick: TickCount grows by 1; when Timeout is above 0 and TickCount
    // has reached it, Timeout becomes 0 (so it fires once) and OnTimeout is
    // raised. Does nothing while the timer is disabled.
    void Tick();
    int64_t TickCount() const { return m_tickCount; }

    const std::string& EntryName() const { return m_entryName; }
    const dialup::RasConnHandle& ConnHandle() const { return m_connHandle; }

    // Makes name the entry to work on when GetDialParams finds it, then runs
    // FindConnection; otherwise EntryName stays as it was (and OnError has
    // had the code).
    void SelectEntry(const std::string& name);
    // When IsConnected: hangs up ConnHandle (if any), then disables the tick
    // timer; otherwise nothing. Does not wait for the line to drop. A handle
    // left from an earlier call whose link has ended is found again first,
    // so a redialled line of the same entry is not missed. Returns false
    // only when the system refused (after OnHangUpRefused has fired).
    bool HangUp();
    // True when EntryName is among the names of the active connections;
    // then runs FindConnection first if ConnHandle is empty.
    bool IsConnected();
    // ConnHandle := the last active connection whose name equals EntryName
    // exactly (case counts); empty when there is none or the enumeration
    // fails.
    void FindConnection();
    // True when name is an entry of the phonebook (params.EntryName := name);
    // otherwise false and OnError, if set, receives the error code.
    bool GetDialParams(const std::string& name, TRasDialParams& params);

private:
    std::unique_ptr<dialup::RasPlatform> m_platform;
    int32_t m_timeout = 0;
    bool m_tickTimerEnabled = false;
    int64_t m_tickCount = 0;
    std::string m_entryName;
    dialup::RasConnHandle m_connHandle;
};

// Empties list, then adds every entry name of the system's phonebook (of
// platform) in its order; on failure the list stays empty.
void ListEntries(std::vector<std::string>& list);
void ListEntries(std::vector<std::string>& list, dialup::RasPlatform& platform);
// Empties list, then adds the entry name of every active connection; on
// failure the list stays empty.
void ListConnections(std::vector<std::string>& list);
void ListConnections(std::vector<std::string>& list, dialup::RasPlatform& platform);
// True when name equals (exactly) one of the names ListConnections gives.
bool IsEntryConnected(const std::string& name);
bool IsEntryConnected(const std::string& name, dialup::RasPlatform& platform);
