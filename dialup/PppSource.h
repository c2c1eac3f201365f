// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Dial-up entries of the ppp peers folder and their pppd processes, found the
// way pon and poff find them.
//
// Entries: the regular files of the peers folder whose names pass
// IsPeerFileName, sorted by name (byte order).
// Connections: a live process whose /proc/PID/comm is "pppd" and whose
// command line is "pppd call NAME ...", or a pid file "ppp-NAME.pid" in the
// run folder (pppd's linkname) naming a live process whose comm is "pppd"
// and whose command line names NAME (PppdNamesEntry): a pid file that
// names the pppd of another link is not believed.
// Hang-up: SIGTERM, as poff sends it, only after checking again, right
// before the signal, that the process is still the pppd of that entry.
#include "dialup/RasSource.h"

#include <optional>
#include <string>
#include <sys/types.h>

namespace dialup {

struct PppRoots {
    std::string Peers; // the peers folder
    std::string Run;   // where pppd writes ppp-NAME.pid
    std::string Proc;  // the process table

    // TOLMU_PPP_PEERS, TOLMU_PPP_RUN and TOLMU_PROC when set and not empty,
    // else /etc/ppp/peers, /run (or /var/run where /run is no folder) and
    // /proc.
    static PppRoots FromEnvironment();
};

class PppSource : public RasSource {
public:
    explicit PppSource(PppRoots roots);

    // A missing or unreadable peers folder gives no entries.
    void enumEntries(std::vector<std::string>& names) override;
    // Each (entry, pid) once; Handle is the pid in decimal.
    void enumConnections(std::vector<RasConnection>& connections) override;
    bool hasEntry(const std::string& name) override;
    // Refused when the kernel will not let this user signal the process
    // (pppd usually runs as root); Gone when the pid no longer is that
    // entry's pppd (ended, or reused by another program).
    HangUpResult hangUp(const RasConnection& connection) override;

private:
    std::optional<std::string> procText(pid_t pid, const char* file, std::size_t maxBytes) const;
    bool isPppd(pid_t pid) const;
    std::optional<pid_t> pidFilePid(const std::string& name) const;
    bool isPppdOf(pid_t pid, const std::string& name) const;

    PppRoots m_roots;
};

} // namespace dialup
