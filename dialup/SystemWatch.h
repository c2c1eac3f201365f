// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sleep and network news from the system bus: logind's PrepareForSleep and
// NetworkManager's global state. Plain C++ over sd-bus, driven by its
// owner's event loop: when Fd() is readable (or writable while WantsWrite),
// Process() handles what came without ever blocking, and returns the news.
// Without a bus, logind or NetworkManager the watch stays quiet and the
// network counts as up, so checks run as they would without it.
#include "dialup/SdBus.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dialup {

enum class SystemEvent {
    Sleeping,    // the machine is about to suspend or hibernate
    Resumed,     // it is back
    NetworkDown, // NetworkManager has no connection any more
    NetworkUp,   // it has one again (or stopped answering for the network)
};

// NetworkManager's NMState values that mean "no connection": asleep,
// disconnected, disconnecting, connecting. Local and site connectivity
// count as up: a mail server may well be on the local network.
bool NmStateMeansDown(uint32_t state);

class SystemWatch {
public:
    // busAddress: a D-Bus address such as "unix:path=/some/socket"; empty
    // means the system bus. Asks for the signals and NetworkManager's state
    // without waiting for any answer.
    explicit SystemWatch(const std::string& busAddress);
    ~SystemWatch();
    SystemWatch(const SystemWatch&) = delete;
    SystemWatch& operator=(const SystemWatch&) = delete;

    // TOLMU_SYSTEM_BUS when set, else empty (the system bus).
    static std::string BusFromEnvironment();

    // The connection's file descriptor; -1 without a bus, or once the bus
    // went away (the owner stops watching then).
    int Fd() const;
    // True while output waits for the descriptor to become writable.
    bool WantsWrite() const;
    // Handles everything the bus has sent, in order. A bus that failed is
    // dropped (Fd() becomes -1); a network it had reported down then comes
    // back up.
    std::vector<SystemEvent> Process();

    // The bus has answered the first question for NetworkManager's state
    // (with the state or an error). The signals were asked for before it,
    // so from now on none is missed.
    bool Ready() const { return m_ready; }
    bool Asleep() const { return m_asleep; }
    // NetworkManager's last word, true only for a state that means down.
    bool NetworkDown() const { return m_networkDown; }

private:
    static int onSleep(sd_bus_message* m, void* self, sd_bus_error*);
    static int onState(sd_bus_message* m, void* self, sd_bus_error*);
    static int onStateReply(sd_bus_message* m, void* self, sd_bus_error*);
    static int onOwner(sd_bus_message* m, void* self, sd_bus_error*);
    bool askState();
    void setNetworkDown(bool down);

    Bus m_bus;
    std::vector<SystemEvent> m_events;
    bool m_ready = false;
    bool m_asleep = false;
    bool m_networkDown = false;
};

// True when a ppp interface (pppd's ppp0, ppp1...) is up and running: a
// dial-up line NetworkManager may not manage, so its "disconnected" does
// not mean offline then.
bool PppLinkUp();

} // namespace dialup
