// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialup/RasPlatform.h"

#include "dialup/NmSource.h"
#include "dialup/PppSource.h"
#include "dialup/RasText.h"

#include <algorithm>

namespace dialup {

RasPlatform::RasPlatform(std::vector<std::unique_ptr<RasSource>> sources) : m_sources(std::move(sources)) {}

RasPlatform::~RasPlatform() = default;

std::unique_ptr<RasPlatform> RasPlatform::System()
{
    std::vector<std::unique_ptr<RasSource>> sources;
    sources.push_back(std::make_unique<PppSource>(PppRoots::FromEnvironment()));
    sources.push_back(std::make_unique<NmSource>(NmSource::BusFromEnvironment()));
    return std::make_unique<RasPlatform>(std::move(sources));
}

int32_t RasPlatform::EnumEntries(std::vector<std::string>& names)
{
    names.clear();
    for (auto& source : m_sources) {
        std::vector<std::string> found;
        source->enumEntries(found);
        for (std::string& name : found) {
            if (IsUsableEntryName(name) && std::find(names.begin(), names.end(), name) == names.end())
                names.push_back(std::move(name));
        }
        if (names.size() > MaxRasRecords) {
            names.clear();
            return RasErrorBufferTooSmall;
        }
    }
    return 0;
}

int32_t RasPlatform::EnumConnections(std::vector<RasConnHandle>& connections)
{
    connections.clear();
    for (std::size_t i = 0; i < m_sources.size(); ++i) {
        std::vector<RasConnection> found;
        m_sources[i]->enumConnections(found);
        for (RasConnection& c : found) {
            if (IsUsableEntryName(c.EntryName))
                connections.push_back(RasConnHandle{static_cast<int>(i), std::move(c)});
        }
        if (connections.size() > MaxRasRecords) {
            connections.clear();
            return RasErrorBufferTooSmall;
        }
    }
    return 0;
}

int32_t RasPlatform::GetEntryDialParams(const std::string& name)
{
    if (!IsUsableEntryName(name))
        return RasErrorEntryNotFound;
    for (auto& source : m_sources) {
        if (source->hasEntry(name))
            return 0;
    }
    return RasErrorEntryNotFound;
}

HangUpResult RasPlatform::HangUp(const RasConnHandle& handle)
{
    if (!handle || static_cast<std::size_t>(handle.Source) >= m_sources.size())
        return HangUpResult::Gone;
    return m_sources[handle.Source]->hangUp(handle.Connection);
}

} // namespace dialup
