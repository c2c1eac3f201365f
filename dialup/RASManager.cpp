// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialup/RASManager.h"

#include <algorithm>
#include <iostream>

using dialup::HangUpResult;
using dialup::RasConnHandle;
using dialup::RasPlatform;

std::string HangUpRefusedText(const std::string& entryName)
{
    return "Hang-up refused: " + entryName;
}

TRASManager::TRASManager() : TRASManager(RasPlatform::System()) {}

TRASManager::TRASManager(std::unique_ptr<RasPlatform> platform) : m_platform(std::move(platform)) {}

TRASManager::~TRASManager() = default;

void TRASManager::SetTimeout(int32_t value)
{
    if (value < 0) {
        const std::string text = "RASManager: Invalid Timeout value (0..MaxInt)";
        if (ShowErrorMessage)
            ShowErrorMessage(text);
        else
            std::cerr << text << '\n';
        return;
    }
    m_timeout = value;
}

void TRASManager::Tick()
{
    if (!m_tickTimerEnabled)
        return;
    ++m_tickCount;
    if (m_timeout > 0 && m_tickCount >= m_timeout) {
        m_timeout = 0;
        if (OnTimeout)
            OnTimeout(*this);
    }
}

void TRASManager::SelectEntry(const std::string& name)
{
    TRasDialParams params;
    if (!GetDialParams(name, params))
        return;
    m_entryName = name;
    FindConnection();
}

bool TRASManager::HangUp()
{
    if (!IsConnected())
        return true;
    HangUpResult result = HangUpResult::Gone;
    if (m_connHandle) {
        result = m_platform->HangUp(m_connHandle);
        if (result == HangUpResult::Gone) {
            // The handle was from an earlier call and its link has ended;
            // the entry is still listed, so a new link of it is up.
            const std::string previous = m_connHandle.Connection.Handle;
            FindConnection();
            if (m_connHandle && m_connHandle.Connection.Handle != previous)
                result = m_platform->HangUp(m_connHandle);
        }
    }
    m_tickTimerEnabled = false;
    if (result != HangUpResult::Refused)
        return true;
    if (OnHangUpRefused)
        OnHangUpRefused(*this, m_entryName);
    return false;
}

bool TRASManager::IsConnected()
{
    const bool connected = IsEntryConnected(m_entryName, *m_platform);
    if (connected && !m_connHandle)
        FindConnection();
    return connected;
}

// Known limit: one handle per entry, the last equal one. An entry with two
// links up at once (two pppd for one peer, or a peer and a NetworkManager
// link of the same name) ends one per HangUp; a later hang-up ends the
// other.
void TRASManager::FindConnection()
{
    m_connHandle = RasConnHandle{};
    std::vector<RasConnHandle> connections;
    if (m_platform->EnumConnections(connections) != 0)
        return;
    for (const RasConnHandle& c : connections) {
        if (c.Connection.EntryName == m_entryName)
            m_connHandle = c;
    }
}

bool TRASManager::GetDialParams(const std::string& name, TRasDialParams& params)
{
    const int32_t error = m_platform->GetEntryDialParams(name);
    if (error != 0) {
        if (OnError)
            OnError(*this, error);
        return false;
    }
    params.EntryName = name;
    return true;
}

void ListEntries(std::vector<std::string>& list)
{
    ListEntries(list, *RasPlatform::System());
}

void ListEntries(std::vector<std::string>& list, RasPlatform& platform)
{
    list.clear();
    if (platform.EnumEntries(list) != 0)
        list.clear();
}

void ListConnections(std::vector<std::string>& list)
{
    ListConnections(list, *RasPlatform::System());
}

void ListConnections(std::vector<std::string>& list, RasPlatform& platform)
{
    list.clear();
    std::vector<RasConnHandle> connections;
    if (platform.EnumConnections(connections) != 0)
        return;
    for (RasConnHandle& c : connections)
        list.push_back(std::move(c.Connection.EntryName));
}

bool IsEntryConnected(const std::string& name)
{
    return IsEntryConnected(name, *RasPlatform::System());
}

bool IsEntryConnected(const std::string& name, RasPlatform& platform)
{
    std::vector<std::string> names;
    ListConnections(names, platform);
    return std::find(names.begin(), names.end(), name) != names.end();
}
