// SPDX-License-Identifier: GPL-3.0-or-later
// tolmu --show N: one message of an account, printed as the message window
// shows it, for scripts and for checking a mailbox without a window. Logs
// in, fetches as the window does (headers only or whole), logs out, prints
// the window's lines and copies the attachments into the folder given.
#include "app/Cli.h"
#include "base/Exception.h"
#include "base/QuitSignals.h"
#include "base/Report.h"
#include "core/accounts/Credentials.h"
#include "core/settings/Loader.h"
#include "core/mailbox/MailDropFactory.h"
#include "core/message/MessageView.h"
#include "core/settings/Settings.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

const char* const ShowUsage =
    "Usage: tolmu --show N [--account NAME] [--headers-only] [--save-attachments DIR]\n"
    "                      [--raw] [--config-dir DIR]\n";

struct ShowOptions {
    int32_t number = 0;
    std::optional<std::string> account;
    bool headersOnly = false;
    bool raw = false; // the lines as the message holds them, undecoded
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
        else if (a == "--raw")
            o.raw = true;
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

// The index of the account named, or of the first active one. Throws
// Exception when none fits.
int32_t chooseAccount(const ShowOptions& o, const TLoadState& state, const TAccountStore& accounts)
{
    if (o.account) {
        for (int32_t i = 1; i <= accounts.Count(); ++i)
            if (accounts.Account(i).AccName == *o.account)
                return i;
        throw Exception("no account named '" + *o.account + "'");
    }
    if (!state.HasActiveAccount || !accounts.Has(state.FirstActiveIndex))
        throw Exception("no active account");
    return state.FirstActiveIndex;
}

void printError(const std::string& text)
{
    std::fprintf(stderr, "tolmu: %s\n", report::ConsoleText(text).c_str());
}

// Copies every attachment that was read completely into dir; one that was
// cut or could not be stored, or whose copy fails, is named on stderr and
// the others are still saved; what the reader noted about a saved one
// (a missing closing boundary line) follows it on stderr. Returns whether
// all were saved.
bool saveAttachments(const TWireMessage& msg, const std::string& dir)
{
    bool all = true;
    for (const TAttachment& att : msg.Attachments) {
        if (!att.Problem.empty()) {
            printError("attachment " + att.FileName + " not saved: " + att.Problem);
            all = false;
            continue;
        }
        try {
            SaveAttachmentInto(att, dir);
            if (!att.Note.empty())
                printError(att.Note);
        } catch (const std::exception& e) {
            printError(e.what());
            all = false;
        }
    }
    return all;
}

// Returns 0, or 1 with the server's or network's text on stderr. A body
// that broke a bound or failed part-way is still shown and its complete
// attachments saved, with the error after them.
int showMessage(const TPOPAcc& account, const ShowOptions& opts)
{
    const std::unique_ptr<TMailDrop> drop = MakeMailDrop(account);
    drop->OnIdle = ThrowIfQuitSignal; // Ctrl+C or a kill ends a wait at once
    TWireMessage msg;
    std::string bodyError;
    try {
        drop->Open(account, StoredPasswords(), DefaultMailTimeout);
        if (!drop->Fetch(opts.number, msg, opts.headersOnly)) {
            const std::string reply = drop->LastReply();
            drop->Close();
            printError(reply);
            return 1;
        }
        drop->Close();
    } catch (const std::exception& e) {
        drop->CloseQuietly();
        if (CaughtQuitSignal())
            return 1; // stopped by the user: nothing half-read is shown or saved
        if (msg.Headers.empty() || opts.headersOnly) {
            printError(e.what());
            return 1;
        }
        bodyError = e.what();
    }

    // The headers and the text are the sender's: escape sequences in them
    // must not reach the terminal.
    const std::vector<std::string> lines =
        opts.raw ? RawMessageWindowLines(msg, opts.headersOnly) : MessageWindowLines(msg, opts.headersOnly);
    for (const std::string& line : lines)
        std::printf("%s\n", report::ConsoleText(line, report::LineBreaks::LfOnly).c_str());
    std::fflush(stdout);

    bool saved = true;
    if (opts.saveDir && !opts.headersOnly)
        saved = saveAttachments(msg, *opts.saveDir);
    if (!bodyError.empty())
        printError(bodyError);
    return saved && bodyError.empty() ? 0 : 1;
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
        TAccountStore accounts(ConfigDir());
        TAccountProblems problems;
        LoadAccountsToCheck(state, accounts, problems);
        const int32_t chosen = chooseAccount(opts, state, accounts);
        // Another account's malformed line does not stop reading this one.
        if (const std::string& problem = problems[chosen - 1]; !problem.empty())
            throw Exception(problem);
        account = accounts.Account(chosen);
    } catch (const std::exception& e) {
        printError(e.what());
        return 2;
    }
    return showMessage(account, opts);
}
