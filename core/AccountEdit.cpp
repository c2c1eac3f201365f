#include "core/AccountEdit.h"

#include "base/Text.h"

#include <array>

namespace {

// Runs change on the table, then writes Accounts.ini; a write that fails
// puts the table back, so memory and file never disagree.
template <typename Change>
void changeAndWrite(Change change)
{
    const auto table = AccountTable;
    const int32_t count = AccountCount;
    change();
    try {
        WriteAccountsFile();
    } catch (...) {
        AccountTable = table;
        AccountCount = count;
        throw;
    }
}

bool namesAccount(int32_t index) { return index >= 1 && index <= AccountCount && index <= MaxAccounts; }

// The duplicate and completeness checks shared by Add and Modify, in their
// order; skip is the account allowed to keep its name (0 for none).
std::vector<std::string> checkFields(const TAccountFields& f, int32_t skip)
{
    std::vector<std::string> shown;
    if (!f.Name.empty()) {
        for (int32_t i = 1; i <= AccountCount; ++i) {
            if (i != skip && AccountTable[i - 1].AccName == f.Name) {
                shown.emplace_back(AccountExists);
                break;
            }
        }
    }
    if (f.Name.empty() || f.Login.empty() || f.Password.empty() || f.Host.empty())
        shown.emplace_back(FillAllFields);
    return shown;
}

// The checks made where the fields are turned into an account: the port
// and what the file can hold. One message, or none.
std::vector<std::string> checkConversion(const TAccountFields& f)
{
    if (!ParsePortText(f.Port))
        return {BadPort};
    const std::string reason = UnstorableReason(f);
    if (!reason.empty())
        return {reason};
    return {};
}

void fill(TPOPAcc& acc, const TAccountFields& f)
{
    acc.AccName = f.Name;
    acc.HostName = f.Host;
    acc.UserName = f.Login;
    acc.Password = f.Password;
    acc.PortNumber = *ParsePortText(f.Port);
}

} // namespace

std::optional<int32_t> ParsePortText(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::nullopt;
    const std::size_t last = text.find_last_not_of(' ');
    int32_t port = 0;
    for (std::size_t i = first; i <= last; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        port = port * 10 + (c - '0');
        if (port > 65535)
            return std::nullopt;
    }
    if (port < 1)
        return std::nullopt;
    return port;
}

// Known limits of the file these rules keep away from: every value goes
// through the line scanner, which ends a line at CR and the file at byte 26,
// trims leading blanks, reads a name of "none" as the end of the list, and
// finds a key as a case-insensitive substring of any later line, so a value
// holding a key word is taken for that key. The scrambled password cannot
// hold a key word: it has only even bytes, and every key word has a vowel,
// all of which are odd.
std::string UnstorableReason(const TAccountFields& fields)
{
    static const char* const keyWords[] = {"acc_name", "host_name", "user_name", "password",
                                           "port_number", "inactive", "[account"};
    const std::pair<const char*, const std::string*> texts[] = {
        {"The name", &fields.Name}, {"The host", &fields.Host}, {"The login", &fields.Login}};
    for (const auto& [what, value] : texts) {
        if (value->find_first_of("\r\x1a") != std::string::npos)
            return std::string(what) + " may not hold a line break or the character code 26 !";
        if (!value->empty() && value->front() == ' ')
            return std::string(what) + " may not start with a blank !";
        const std::string lower = text::lower(*value);
        for (const char* word : keyWords)
            if (lower.find(word) != std::string::npos)
                return std::string(what) + " may not contain \"" + word + "\", a key word of Accounts.ini !";
    }
    if (fields.Name == "none")
        return "An account may not be named \"none\" !";
    if (fields.Password.size() > 255)
        return "The password may hold at most 255 characters !";
    for (const char c : fields.Password)
        if (c < ' ' || c > '~')
            return "The password may hold only printable ASCII characters (no accents, no control codes) !";
    return "";
}

std::vector<std::string> AddAccount(const TAccountFields& fields)
{
    std::vector<std::string> shown = checkFields(fields, 0);
    if (!shown.empty())
        return shown;
    if (AccountCount >= MaxAccounts)
        return {AccountsFull};
    shown = checkConversion(fields);
    if (!shown.empty())
        return shown;
    changeAndWrite([&] {
        // A new account starts active, whatever its slot held before.
        TPOPAcc acc;
        fill(acc, fields);
        AccountTable[AccountCount++] = acc;
    });
    return {};
}

std::vector<std::string> ModifyAccount(int32_t index, const TAccountFields& fields, bool inactive)
{
    if (!namesAccount(index))
        return {};
    std::vector<std::string> shown = checkFields(fields, index);
    if (!shown.empty())
        return shown;
    shown = checkConversion(fields);
    if (!shown.empty())
        return shown;
    changeAndWrite([&] {
        TPOPAcc& acc = AccountTable[index - 1];
        fill(acc, fields);
        acc.Inactive = inactive;
    });
    return {};
}

bool RemoveAccount(int32_t index)
{
    if (!namesAccount(index))
        return false;
    changeAndWrite([&] {
        for (int32_t i = index; i < AccountCount; ++i)
            AccountTable[i - 1] = AccountTable[i];
        --AccountCount;
    });
    return true;
}

bool SetAccountInactive(int32_t index, bool inactive)
{
    if (!namesAccount(index))
        return false;
    changeAndWrite([&] { AccountTable[index - 1].Inactive = inactive; });
    return true;
}
