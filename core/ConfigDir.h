#pragma once
// Where Tolmu.ini and Accounts.ini live: the directory of the running program,
// or the directory given with --config-dir for per-user set-ups and tests.
#include <string>
#include <vector>

// Directory of the running executable (from /proc/self/exe), ending in "/".
// Returns "./" when the link cannot be read.
std::string ProgramDir();

// Sets the settings directory; an empty dir goes back to ProgramDir().
// A relative dir is made absolute against the working directory now, so a
// later change of directory does not move the settings.
void SetConfigDir(const std::string& dir);

// The settings directory in use, always ending in "/".
std::string ConfigDir();

// ConfigDir() + "Tolmu.ini" and ConfigDir() + "Accounts.ini".
std::string SettingsFilePath();
std::string AccountsFilePath();

// Takes "--config-dir DIR" (or "--config-dir=DIR") out of args, applies it
// with SetConfigDir and returns the other arguments in their order.
// Throws Exception when the option has no value or is given twice.
std::vector<std::string> TakeConfigDirOption(const std::vector<std::string>& args);
