// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialup/NmSource.h"

#include "dialup/NmNames.h"
#include "dialup/SdBus.h"

#include <cstdlib>
#include <cstring>
#include <optional>

namespace dialup {

namespace {

constexpr uint64_t callTimeoutUsec = uint64_t(NmCallTimeoutMs) * 1000;

bool isPointToPoint(const std::string& type)
{
    return type == "gsm" || type == "cdma" || type == "pppoe" || type == "bluetooth";
}

// The outcome of one call: a reply, or the D-Bus error name ("" when the
// call never got an answer: no bus, time-out).
struct CallResult {
    Message reply;
    std::string errorName;
};

// Calls method on NetworkManager with the arguments append adds, without
// letting the bus start NetworkManager, waiting at most callTimeoutUsec.
template <typename Append>
CallResult call(sd_bus* bus, const char* path, const char* interface, const char* method, Append append)
{
    CallResult result;
    sd_bus_message* raw = nullptr;
    if (sd_bus_message_new_method_call(bus, &raw, nm::Service, path, interface, method) < 0)
        return result;
    Message request(raw);
    if (sd_bus_message_set_auto_start(raw, 0) < 0 || append(raw) < 0)
        return result;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    if (sd_bus_call(bus, raw, callTimeoutUsec, &error, &reply) >= 0)
        result.reply.reset(reply);
    else if (sd_bus_error_is_set(&error))
        result.errorName = error.name;
    sd_bus_error_free(&error);
    return result;
}

CallResult getProperty(sd_bus* bus, const char* path, const char* interface, const char* property)
{
    return call(bus, path, "org.freedesktop.DBus.Properties", "Get",
                [&](sd_bus_message* m) { return sd_bus_message_append(m, "ss", interface, property); });
}

std::optional<std::string> stringProperty(sd_bus* bus, const char* path, const char* property, std::string* errorName)
{
    CallResult r = getProperty(bus, path, nm::ActiveConnectionInterface, property);
    const char* value = nullptr;
    if (!r.reply || sd_bus_message_read(r.reply.get(), "v", "s", &value) < 0 || !value) {
        if (errorName)
            *errorName = r.errorName;
        return std::nullopt;
    }
    return std::string(value);
}

struct ActiveLink {
    std::string path, id;
};

// The active point-to-point connections, in NetworkManager's order; empty
// when anything fails, so a half answer never looks like a full one.
std::vector<ActiveLink> activeLinks(const std::string& address)
{
    Bus bus = OpenBus(address);
    if (!bus)
        return {};
    CallResult r = getProperty(bus.get(), nm::Path, nm::Interface, nm::ActiveConnectionsProperty);
    if (!r.reply || sd_bus_message_enter_container(r.reply.get(), 'v', "ao") < 0 ||
        sd_bus_message_enter_container(r.reply.get(), 'a', "o") < 0)
        return {};
    std::vector<std::string> paths;
    const char* path = nullptr;
    int rc;
    while ((rc = sd_bus_message_read_basic(r.reply.get(), 'o', &path)) > 0)
        paths.emplace_back(path);
    if (rc < 0)
        return {};

    std::vector<ActiveLink> links;
    for (const std::string& p : paths) {
        const auto type = stringProperty(bus.get(), p.c_str(), nm::TypeProperty, nullptr);
        if (!type)
            continue; // deactivated since the list was read
        if (!isPointToPoint(*type))
            continue;
        if (auto id = stringProperty(bus.get(), p.c_str(), nm::IdProperty, nullptr))
            links.push_back({p, std::move(*id)});
    }
    return links;
}

bool meansGone(const std::string& errorName)
{
    static const char* const names[] = {
        "org.freedesktop.DBus.Error.UnknownObject", "org.freedesktop.DBus.Error.UnknownMethod",
        "org.freedesktop.DBus.Error.UnknownInterface", "org.freedesktop.DBus.Error.UnknownProperty",
        "org.freedesktop.DBus.Error.ServiceUnknown", nm::ConnectionNotActiveError,
    };
    for (const char* n : names) {
        if (errorName == n)
            return true;
    }
    return false;
}

} // namespace

NmSource::NmSource(std::string busAddress) : m_busAddress(std::move(busAddress)) {}

std::string NmSource::BusFromEnvironment()
{
    const char* value = std::getenv("TOLMU_NM_BUS");
    return value ? std::string(value) : std::string();
}

void NmSource::enumEntries(std::vector<std::string>& names)
{
    for (ActiveLink& link : activeLinks(m_busAddress))
        names.push_back(std::move(link.id));
}

void NmSource::enumConnections(std::vector<RasConnection>& connections)
{
    for (ActiveLink& link : activeLinks(m_busAddress))
        connections.push_back({std::move(link.id), std::move(link.path)});
}

bool NmSource::hasEntry(const std::string& name)
{
    for (const ActiveLink& link : activeLinks(m_busAddress)) {
        if (link.id == name)
            return true;
    }
    return false;
}

HangUpResult NmSource::hangUp(const RasConnection& connection)
{
    // Only object paths NetworkManager itself handed out are passed back.
    if (!sd_bus_object_path_is_valid(connection.Handle.c_str()))
        return HangUpResult::Gone;
    Bus bus = OpenBus(m_busAddress);
    if (!bus)
        return HangUpResult::Refused;
    const char* path = connection.Handle.c_str();
    std::string errorName;
    const auto type = stringProperty(bus.get(), path, nm::TypeProperty, &errorName);
    if (!type)
        return meansGone(errorName) ? HangUpResult::Gone : HangUpResult::Refused;
    const auto id = stringProperty(bus.get(), path, nm::IdProperty, &errorName);
    if (!id)
        return meansGone(errorName) ? HangUpResult::Gone : HangUpResult::Refused;
    if (!isPointToPoint(*type) || *id != connection.EntryName)
        return HangUpResult::Gone;

    CallResult r = call(bus.get(), nm::Path, nm::Interface, nm::DeactivateConnectionMethod,
                        [&](sd_bus_message* m) { return sd_bus_message_append(m, "o", path); });
    if (r.reply)
        return HangUpResult::Sent;
    return meansGone(r.errorName) ? HangUpResult::Gone : HangUpResult::Refused;
}

} // namespace dialup
