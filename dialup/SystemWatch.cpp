// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialup/SystemWatch.h"

#include "dialup/NmNames.h"

#include <cstdlib>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <poll.h>
#include <utility>

namespace dialup {

namespace {

constexpr const char* loginService = "org.freedesktop.login1";
constexpr const char* loginPath = "/org/freedesktop/login1";
constexpr const char* loginManager = "org.freedesktop.login1.Manager";

// NetworkManager joining or leaving the bus.
std::string nmOwnerMatch()
{
    return std::string("type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
                       "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='") +
           nm::Service + "'";
}

// NMState: 10 asleep, 20 disconnected, 30 disconnecting, 40 connecting,
// 50 local, 60 site, 70 global connectivity; 0 unknown.
constexpr uint32_t nmAsleep = 10;
constexpr uint32_t nmConnectedLocal = 50;

SystemWatch& watchOf(void* self) { return *static_cast<SystemWatch*>(self); }

} // namespace

bool NmStateMeansDown(uint32_t state) { return state >= nmAsleep && state < nmConnectedLocal; }

SystemWatch::SystemWatch(const std::string& busAddress) : m_bus(OpenBus(busAddress))
{
    if (!m_bus)
        return;
    sd_bus* bus = m_bus.get();
    // The match and call slots float: they belong to the connection and go
    // with it. A match the bus refuses closes the connection (sd-bus's
    // default), which Process then notices.
    const bool asked =
        sd_bus_match_signal_async(bus, nullptr, loginService, loginPath, loginManager, "PrepareForSleep", onSleep,
                                  nullptr, this) >= 0 &&
        sd_bus_match_signal_async(bus, nullptr, nm::Service, nm::Path, nm::Interface, nm::StateChangedSignal, onState,
                                  nullptr, this) >= 0 &&
        sd_bus_add_match_async(bus, nullptr, nmOwnerMatch().c_str(), onOwner, nullptr, this) >= 0 && askState();
    if (!asked)
        m_bus.reset();
}

SystemWatch::~SystemWatch() = default;

std::string SystemWatch::BusFromEnvironment()
{
    const char* value = std::getenv("TOLMU_SYSTEM_BUS");
    return value ? std::string(value) : std::string();
}

int SystemWatch::Fd() const { return m_bus ? sd_bus_get_fd(m_bus.get()) : -1; }

bool SystemWatch::WantsWrite() const { return m_bus && (sd_bus_get_events(m_bus.get()) & POLLOUT) != 0; }

std::vector<SystemEvent> SystemWatch::Process()
{
    if (m_bus) {
        int r;
        while ((r = sd_bus_process(m_bus.get(), nullptr)) > 0) {
        }
        if (r < 0) {
            // The bus went away (a restart of the bus, a refused match):
            // nothing more will come, so nothing may keep checks waiting.
            m_bus.reset();
            setNetworkDown(false);
        }
    }
    return std::exchange(m_events, {});
}

// Asks NetworkManager for its state without letting the bus start it; the
// answer, if any, comes through Process.
bool SystemWatch::askState()
{
    sd_bus_message* raw = nullptr;
    if (sd_bus_message_new_method_call(m_bus.get(), &raw, nm::Service, nm::Path, "org.freedesktop.DBus.Properties",
                                       "Get") < 0)
        return false;
    Message request(raw);
    return sd_bus_message_set_auto_start(raw, 0) >= 0 &&
           sd_bus_message_append(raw, "ss", nm::Interface, nm::StateProperty) >= 0 &&
           sd_bus_call_async(m_bus.get(), nullptr, raw, onStateReply, this, 0) >= 0;
}

void SystemWatch::setNetworkDown(bool down)
{
    if (down == m_networkDown)
        return;
    m_networkDown = down;
    m_events.push_back(down ? SystemEvent::NetworkDown : SystemEvent::NetworkUp);
}

int SystemWatch::onSleep(sd_bus_message* m, void* self, sd_bus_error*)
{
    int start = 0;
    if (sd_bus_message_read(m, "b", &start) < 0)
        return 0;
    SystemWatch& w = watchOf(self);
    w.m_asleep = start != 0;
    w.m_events.push_back(start ? SystemEvent::Sleeping : SystemEvent::Resumed);
    return 0;
}

int SystemWatch::onState(sd_bus_message* m, void* self, sd_bus_error*)
{
    uint32_t state = 0;
    if (sd_bus_message_read(m, "u", &state) >= 0)
        watchOf(self).setNetworkDown(NmStateMeansDown(state));
    return 0;
}

int SystemWatch::onStateReply(sd_bus_message* m, void* self, sd_bus_error*)
{
    // An error answer (no NetworkManager) leaves the network up.
    SystemWatch& w = watchOf(self);
    w.m_ready = true;
    uint32_t state = 0;
    if (!sd_bus_message_is_method_error(m, nullptr) && sd_bus_message_read(m, "v", "u", &state) >= 0)
        w.setNetworkDown(NmStateMeansDown(state));
    return 0;
}

int SystemWatch::onOwner(sd_bus_message* m, void* self, sd_bus_error*)
{
    const char *name = nullptr, *oldOwner = nullptr, *newOwner = nullptr;
    if (sd_bus_message_read(m, "sss", &name, &oldOwner, &newOwner) < 0 || !newOwner)
        return 0;
    SystemWatch& w = watchOf(self);
    // NetworkManager gone: nobody says the network is down any more.
    if (*newOwner == '\0')
        w.setNetworkDown(false);
    else
        w.askState();
    return 0;
}

bool PppLinkUp()
{
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return false;
    bool up = false;
    for (const ifaddrs* a = list; a && !up; a = a->ifa_next) {
        const unsigned wanted = IFF_UP | IFF_RUNNING;
        up = a->ifa_name && std::strncmp(a->ifa_name, "ppp", 3) == 0 && (a->ifa_flags & wanted) == wanted &&
             a->ifa_addr != nullptr;
    }
    ::freeifaddrs(list);
    return up;
}

} // namespace dialup
