// tolmu --show N: one message of an account, printed as the message window
// shows it, for scripts and for checking a mailbox without a window. Logs
// in, fetches as the window does (headers only or whole), logs out, prints
// the window's lines and copies the attachments into the folder given.
#include "app/Cli.h"
#include "base/Exception.h"
#include "base/Report.h"
#include "core/Loader.h"
#include "core/MailSession.h"
#include "core/MessageView.h"
#include "core/Settings.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

const char* const ShowUsage =
    "Usage: tolmu --show N [--account NAME] [--headers-only] [--save-attachments DIR]\n"
    "                      [--config-dir DIR]\n";

struct ShowOptions {
    int32_t number = 0;
    std::optional<std::string> account;
    bool headersOnly = false;
    std::optional<std::string> saveDir;
};

// Throws Exception with the usage problem.
ShowOptions parseOptions(const Args& raw)
{
    const Args args = TakeConfigDirOption(raw);
    ShowOptions o;
    bool haveNumber = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* name) {
            if (i + 1 >= args.size())
                throw Exception(std::string(name) + " needs a value");
            return args[++i];
        };
        if (a == "--account")
            o.account = value("--account");
        else if (a == "--headers-only")
            o.headersOnly = true;
        else if (a == "--save-attachments")
            o.saveDir = value("--save-attachments");
        else if (!haveNumber && !a.empty() && a[0] != '-') {
            char* end = nullptr;
            errno = 0;
            const long n = std::strtol(a.c_str(), &end, 10);
            if (*end != '\0' || errno != 0 || n < 1 || n > INT32_MAX)
                throw Exception("'" + a + "' is not a message number");
            o.number = static_cast<int32_t>(n);
            haveNumber = true;
        } else {
            throw Exception("unexpected argument '" + a + "'");
        }
    }
    if (!haveNumber)
        throw Exception("--show needs a message number");
    return o;
}

// The account named, or the first active one. Throws Exception when none fits.
const TPOPAcc& chooseAccount(const ShowOptions& o, const TLoadState& state)
{
    if (o.account) {
        for (int i = 0; i < AccountCount; ++i)
            if (AccountTable[i].AccName == *o.account)
                return AccountTable[i];
        throw Exception("no account named '" + *o.account + "'");
    }
    if (!state.HasActiveAccount || state.FirstActiveIndex < 1 || state.FirstActiveIndex > AccountCount)
        throw Exception("no active account");
    return AccountTable[state.FirstActiveIndex - 1];
}

void printError(const std::string& text)
{
    std::fprintf(stderr, "tolmu: %s\n", report::ConsoleText(text).c_str());
}

// Returns 0, or 1 with the server's or network's text on stderr.
int showMessage(const TPOPAcc& account, const ShowOptions& opts)
{
    TWirePOP3 pop;
    TMailSession session(pop);
    TWireMessage msg;
    try {
        session.Open(account);
        if (!session.Fetch(opts.number, msg, opts.headersOnly)) {
            const std::string reply = pop.ResultText;
            session.Close();
            printError(reply);
            return 1;
        }
        session.Close();
    } catch (const std::exception& e) {
        printError(e.what());
        return 1;
    }

    // The headers and the text are the sender's: escape sequences in them
    // must not reach the terminal.
    for (const std::string& line : MessageWindowLines(msg, opts.headersOnly))
        std::printf("%s\n", report::ConsoleText(line, report::LineBreaks::LfOnly).c_str());
    std::fflush(stdout);

    if (opts.saveDir && !opts.headersOnly) {
        try {
            for (const TAttachment& att : msg.Attachments)
                SaveAttachmentInto(att, *opts.saveDir);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tolmu: %s\n", e.what());
            return 1;
        }
    }
    return 0;
}

} // namespace

int RunShow(const Args& args)
{
    ShowOptions opts;
    try {
        opts = parseOptions(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tolmu: %s\n%s", report::ConsoleText(e.what()).c_str(), ShowUsage);
        return 2;
    }
    TPOPAcc account;
    try {
        TLoadState state;
        LoadSettingsAndAccounts(state);
        account = chooseAccount(opts, state);
    } catch (const std::exception& e) {
        printError(e.what());
        return 2;
    }
    return showMessage(account, opts);
}
