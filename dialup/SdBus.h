// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Owners for sd-bus connections and messages, and the one way this folder
// opens a bus: the system bus, or a private one named by address (tests).
#include <memory>
#include <string>
#include <systemd/sd-bus.h>

namespace dialup {

struct BusDeleter {
    // Closing without a flush: nothing this folder sends must outlive its
    // owner, and a flush would wait on a bus that no longer reads.
    void operator()(sd_bus* b) const { sd_bus_close_unref(b); }
};
using Bus = std::unique_ptr<sd_bus, BusDeleter>;

struct MessageDeleter {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using Message = std::unique_ptr<sd_bus_message, MessageDeleter>;

// address: a D-Bus address such as "unix:path=/some/socket"; empty means the
// system bus. Null when the bus cannot be reached. The connection may still
// be authenticating: calls made on it wait for that, and an owner driving it
// by sd_bus_process sees it finish there.
inline Bus OpenBus(const std::string& address)
{
    sd_bus* raw = nullptr;
    if (address.empty())
        return sd_bus_open_system(&raw) < 0 ? nullptr : Bus(raw);
    if (sd_bus_new(&raw) < 0)
        return nullptr;
    Bus bus(raw);
    if (sd_bus_set_address(raw, address.c_str()) < 0 || sd_bus_set_bus_client(raw, 1) < 0 || sd_bus_start(raw) < 0)
        return nullptr;
    return bus;
}

} // namespace dialup
