// tolmu --check: the main job without a window. Checks every active account
// once, in table order, and prints "AccName : N" per account; a failed
// account gets "AccName : " + the error on stderr and the next one is still
// checked. Exit status 0 when every check worked, 1 when any failed, 2 for
// a settings or command-line problem or when no account is active.
#include "app/Cli.h"
#include "base/Report.h"
#include "core/Loader.h"
#include "core/MailSession.h"
#include "core/Settings.h"

#include <cstdio>
#include <exception>
#include <string>

namespace {

// Raised by the fatal-message sink so that a settings problem ends --check
// with status 2 (after the message went to stderr) instead of status 1,
// which scripts read as "an account failed".
struct SettingsProblem {};

// Error texts carry "\r\n" (socket errors): one line per account instead.
std::string oneLine(const std::string& text) { return report::ConsoleText(text, report::LineBreaks::OneLine); }

struct CheckOptions {
    bool verbose = false;
    int32_t timeout = 60;
};

// Returns false (after telling why) on a bad command line.
bool parseOptions(const Args& args, CheckOptions& opts)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--verbose") {
            opts.verbose = true;
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
// count, or false and the error text.
bool checkAccount(const TPOPAcc& acc, const CheckOptions& opts, int32_t& count, std::string& error)
{
    TWirePOP3 pop;
    if (opts.verbose)
        pop.OnStatus = [](TWire&, const std::string& text) {
            std::printf("%s\n", oneLine(text).c_str());
            std::fflush(stdout);
        };
    TMailSession session(pop);
    try {
        session.Open(acc, opts.timeout);
        const TMailCount found = session.Count();
        count = found.Count;
        if (!found.Listed)
            error = found.Error;
        // A logout line the server no longer takes changes neither the
        // count in hand nor the listing's failure.
        session.CloseQuietly();
        return found.Listed;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
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
    report::SetFatalSink([](const std::string&) { throw SettingsProblem{}; });
    try {
        LoadSettingsAndAccounts(state);
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
        std::fputs("No valid account ! Please create one or activate an existing account.\n", stderr);
        return 2;
    }

    int failed = 0;
    for (int i = 1; i <= AccountCount; ++i) {
        const TPOPAcc& acc = AccountTable[i - 1];
        if (acc.Inactive)
            continue;
        int32_t count = 0;
        std::string error;
        if (checkAccount(acc, opts, count, error)) {
            std::printf("%s : %d\n", acc.AccName.c_str(), static_cast<int>(count));
        } else {
            ++failed;
            std::fflush(stdout);
            std::fprintf(stderr, "%s : %s\n", acc.AccName.c_str(), oneLine(error).c_str());
        }
        std::fflush(stdout);
        std::fflush(stderr);
    }
    return failed ? 1 : 0;
}
