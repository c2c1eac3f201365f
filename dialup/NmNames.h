// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// NetworkManager's names on the system bus, for every caller in one place:
// the dial-up source reads its active links and hangs them up, the system
// watch follows its state. A name misspelt here is silence on the bus, not
// an error, so none is typed twice.

namespace dialup::nm {

inline constexpr char Service[] = "org.freedesktop.NetworkManager";
inline constexpr char Path[] = "/org/freedesktop/NetworkManager";
inline constexpr char Interface[] = "org.freedesktop.NetworkManager";
// On Path, Interface: the global NMState, and its change.
inline constexpr char StateProperty[] = "State";
inline constexpr char StateChangedSignal[] = "StateChanged";
// On Path, Interface: the object paths of the active connections, and the
// call that takes one down.
inline constexpr char ActiveConnectionsProperty[] = "ActiveConnections";
inline constexpr char DeactivateConnectionMethod[] = "DeactivateConnection";
// On each active connection's path: its kind ("gsm", "ethernet", ...) and
// the name of the profile it runs.
inline constexpr char ActiveConnectionInterface[] = "org.freedesktop.NetworkManager.Connection.Active";
inline constexpr char TypeProperty[] = "Type";
inline constexpr char IdProperty[] = "Id";
// The answer to a deactivation of a connection that is down already.
inline constexpr char ConnectionNotActiveError[] = "org.freedesktop.NetworkManager.ConnectionNotActive";

} // namespace dialup::nm
