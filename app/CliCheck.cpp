// SPDX-License-Identifier: GPL-3.0-or-later
// tolmu --check: the main job without a window. Checks every active account
// once, in table order, and prints "AccName : N" per account; a failed
// account gets "AccName : " + the error on stderr and the next one is still
// checked. Exit status 0 when every check worked, 1 when any failed, 2 for
// a settings or command-line problem or when no account is active.
// --json prints one JSON object instead of the lines (for scripts and status
// bars); --new counts only the messages whose unique ids the last
// --check --new did not see.
#include "app/Cli.h"
#include "base/QuitSignals.h"
#include "base/Report.h"
#include "core/accounts/Credentials.h"
#include "core/settings/Loader.h"
#include "core/mailbox/MailDropFactory.h"
#include "core/mailbox/SeenIds.h"
#include "core/settings/Settings.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>
#include <exception>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// Raised by the fatal-message sink so that a settings problem ends --check
// with status 2 (after the message went to stderr) instead of status 1,
// which scripts read as "an account failed".
struct SettingsProblem {};

// Error texts carry "\r\n" (socket errors): one line per account instead.
std::string oneLine(const std::string& text) { return report::ConsoleText(text, report::LineBreaks::OneLine); }

struct CheckOptions {
    bool verbose = false;
    bool json = false;
    bool onlyNew = false;
    int32_t timeout = 60;
};

// Returns false (after telling why) on a bad command line.
bool parseOptions(const Args& args, CheckOptions& opts)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--verbose") {
            opts.verbose = true;
        } else if (a == "--json") {
            opts.json = true;
        } else if (a == "--new") {
            opts.onlyNew = true;
        } else if (a == "--timeout" || a.rfind("--timeout=", 0) == 0) {
            std::string value;
            if (a == "--timeout") {
                if (i + 1 == args.size()) {
                    std::fputs("tolmu: --timeout needs a number of seconds\n", stderr);
                    return false;
                }
                value = args[++i];
            } else {
                value = a.substr(10);
            }
            try {
                opts.timeout = ParseInteger(value);
            } catch (const std::exception&) {
                opts.timeout = 0;
            }
            if (opts.timeout <= 0) {
                std::fprintf(stderr, "tolmu: --timeout wants a whole number of seconds above 0, not '%s'\n",
                             value.c_str());
                return false;
            }
        } else {
            std::fprintf(stderr, "tolmu: unknown argument '%s' (see tolmu --help)\n", a.c_str());
            return false;
        }
    }
    return true;
}

// One account: Connect, CheckMessages, Disconnect. Returns true and the
// count, or false and the error text. counter, when given, sees the listing.
// protection: how the session was protected at its sign-in ("" when it got
// no further than that).
// tlsOffered: whether the server offered TLS at the sign-in.
bool checkAccount(const TPOPAcc& acc, const CheckOptions& opts, TNewCounter* counter, int32_t& count,
                  std::string& error, std::string& protection, bool& tlsOffered)
{
    const std::unique_ptr<TMailDrop> drop = MakeMailDrop(acc);
    drop->OnIdle = ThrowIfQuitSignal; // Ctrl+C or a kill ends a wait at once
    if (opts.verbose)
        // Under --json stdout holds the object alone.
        drop->OnStatus = [out = opts.json ? stderr : stdout](const std::string& text) {
            std::fprintf(out, "%s\n", oneLine(text).c_str());
            std::fflush(out);
        };
    try {
        try {
            drop->Open(acc, StoredPasswords(), opts.timeout);
        } catch (...) {
            protection = drop->Protection();
            tlsOffered = drop->TlsOffered();
            throw;
        }
        protection = drop->Protection();
        tlsOffered = drop->TlsOffered();
        const TMailCount found =
            counter ? drop->Count([counter](const TListedMessage& m) { counter->Add(m); }) : drop->Count();
        count = counter ? counter->NewCount() : found.Count;
        if (!found.Listed)
            error = found.Error;
        // A logout line the server no longer takes changes neither the
        // count in hand nor the listing's failure.
        drop->CloseQuietly();
        return found.Listed;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

// Local time with its offset, as ISO 8601: "2024-05-01T09:30:00+02:00".
std::string isoTime(std::time_t t)
{
    std::tm local{};
    localtime_r(&t, &local);
    char buf[40];
    if (std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S%z", &local) == 0)
        return {};
    std::string s = buf;
    if (s.size() >= 5 && (s[s.size() - 5] == '+' || s[s.size() - 5] == '-'))
        s.insert(s.size() - 2, ":");
    return s;
}

} // namespace

int RunCheck(const Args& args)
{
    CheckOptions opts;
    try {
        if (!parseOptions(TakeConfigDirOption(args), opts))
            return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tolmu: %s\n", e.what());
        return 2;
    }

    TLoadState state;
    TAccountStore store(ConfigDir());
    TAccountProblems problems;
    report::SetFatalSink([](const std::string&) { throw SettingsProblem{}; });
    try {
        LoadAccountsToCheck(state, store, problems);
    } catch (const SettingsProblem&) {
        report::SetFatalSink(nullptr);
        return 2; // the fatal text is already on stderr
    } catch (const std::exception& e) {
        report::SetFatalSink(nullptr);
        std::fprintf(stderr, "%s\n", report::ConsoleText(e.what()).c_str());
        return 2;
    }
    report::SetFatalSink(nullptr);
    // Nothing to check is no success: a script must not read a missing,
    // unreadable or all-inactive account file as "no new mail".
    if (!state.HasActiveAccount) {
        std::fputs("tolmu: No valid account ! Please create one or activate an existing account.\n", stderr);
        return 2;
    }

    // Accounts whose security could not be read use the default; say so
    // when asked for the details.
    if (opts.verbose && !store.ExtraWarning().empty())
        std::fprintf(stderr, "tolmu: %s\n", oneLine(store.ExtraWarning()).c_str());

    // Only the mailboxes still configured are read and kept: ids of an
    // account removed since go at the next save.
    TSeenIds seen;
    const std::string seenPath = SeenIdsPath();
    if (opts.onlyNew) {
        std::set<std::string> keys;
        for (int i = 1; i <= store.Count(); ++i)
            keys.insert(SeenIdsKey(store.Account(i)));
        std::string warning;
        seen.Load(seenPath, keys, warning);
        if (!warning.empty())
            std::fprintf(stderr, "tolmu: %s; every message counts as new\n", oneLine(warning).c_str());
    }
    // Every account compares with what the last run saw, even when two
    // accounts share a mailbox: the new lists replace the old ones at the end.
    std::vector<std::pair<std::string, TIdList>> listed;

    const std::time_t started = std::time(nullptr);
    nlohmann::ordered_json accounts = nlohmann::ordered_json::array();
    int64_t total = 0;
    int failed = 0;
    for (int i = 1; i <= store.Count(); ++i) {
        // A copy: keeping what the server offered rewrites the store.
        const TPOPAcc acc = store.Account(i);
        if (acc.Inactive)
            continue;
        int32_t count = 0;
        std::string error, protection;
        bool tlsOffered = false;
        std::optional<TNewCounter> counter;
        if (opts.onlyNew)
            counter.emplace(seen.Seen(SeenIdsKey(acc)));
        // A malformed line fails its own account only; the others are checked.
        if (!problems[i - 1].empty())
            error = problems[i - 1];
        const bool ok = error.empty() && checkAccount(acc, opts, counter ? &*counter : nullptr, count, error, protection, tlsOffered);
        if (ShouldRememberTlsOffer(acc, tlsOffered)) {
            try {
                store.NoteTlsOffered(i);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "tolmu: %s: cannot keep that its server offers TLS: %s\n", acc.AccName.c_str(),
                             oneLine(e.what()).c_str());
            }
        }
        // Only a whole listing replaces what was seen: after a failure the
        // next run still compares with the last good one.
        if (ok && counter)
            listed.emplace_back(SeenIdsKey(acc), counter->TakeIds());
        if (ok)
            total += count;
        else
            ++failed;
        if (opts.json) {
            accounts.push_back({{"name", acc.AccName},
                                {"count", ok ? nlohmann::ordered_json(count) : nlohmann::ordered_json(nullptr)},
                                {"error", ok ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(oneLine(error))},
                                {"protection", protection.empty() ? nlohmann::ordered_json(nullptr)
                                                                  : nlohmann::ordered_json(protection)}});
        } else if (ok) {
            std::printf("%s : %d\n", acc.AccName.c_str(), static_cast<int>(count));
        }
        if (!ok) {
            std::fflush(stdout);
            std::fprintf(stderr, "%s : %s\n", acc.AccName.c_str(), oneLine(error).c_str());
        }
        std::fflush(stdout);
        std::fflush(stderr);
    }

    bool notKept = false;
    if (opts.onlyNew) {
        for (auto& [key, ids] : listed)
            seen.Replace(key, std::move(ids));
        try {
            seen.Save(seenPath);
        } catch (const std::exception& e) {
            // The next run would count the same mail again: no success.
            std::fprintf(stderr, "tolmu: cannot keep the ids seen: %s\n", oneLine(e.what()).c_str());
            notKept = true;
        }
    }
    if (opts.json) {
        nlohmann::ordered_json out = {{"accounts", std::move(accounts)},
                                      {"total", total},
                                      {"new", opts.onlyNew},
                                      {"time", isoTime(started)}};
        // Replacement instead of an exception for a name or error that is
        // not UTF-8 (an old Latin-1 Accounts.ini, a server's raw bytes).
        std::printf("%s\n", out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
        std::fflush(stdout);
    }
    return failed || notKept ? 1 : 0;
}
