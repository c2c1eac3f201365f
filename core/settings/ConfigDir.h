// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where Tolmu.ini and Accounts.ini live: the directory given with
// --config-dir; else the directory of the running program (a build tree, or
// a set-up carried around in one folder); else, for an installed program,
// the user's own folder $XDG_CONFIG_HOME/tolmu, so that an install never
// needs write access to its prefix.
#include <string>
#include <vector>

// Directory of the running executable (from /proc/self/exe), ending in "/".
// Returns "./" when the link cannot be read.
std::string ProgramDir();

// The installed data directory "<prefix>/share/tolmu/" when the program runs
// from "<prefix>/bin/" and that directory exists; empty otherwise (a build
// tree). It holds the skins and the first-run Tolmu.ini.
std::string DataDir();

// The settings directory without --config-dir, ending in "/": programDir
// when it holds a Tolmu.ini, or when there is no dataDir and programDir is
// writable; else "tolmu/" in xdgConfigHome when that is an absolute path,
// else in home + "/.config". Empty when neither is usable.
std::string DefaultConfigDir(const std::string& programDir, const std::string& dataDir, bool programDirWritable,
                             const char* xdgConfigHome, const char* home);

// The settings directory a start without --config-dir uses, ending in "/".
std::string DefaultConfigDir();

// Sets the settings directory; an empty dir goes back to the default one.
// A relative dir is made absolute against the working directory now, so a
// later change of directory does not move the settings.
void SetConfigDir(const std::string& dir);

// The settings directory in use, always ending in "/".
std::string ConfigDir();

// ConfigDir() + "Tolmu.ini" and ConfigDir() + "Accounts.ini".
std::string SettingsFilePath();
std::string AccountsFilePath();

// A current_skin value as a directory: absolute values as they are; a
// relative one against ConfigDir(), or against DataDir() when it names no
// directory under ConfigDir() but one there (the installed skins).
std::string SkinDirFor(const std::string& value);

// Throws Exception when the settings folder dir belongs to another user
// (root aside) or every user may write to it: anyone could plant accounts
// or a mail program there. A missing folder passes (reading tells).
void CheckSettingsFolder(const std::string& dir);

// Takes "--config-dir DIR" (or "--config-dir=DIR") out of args, applies it
// with SetConfigDir and returns the other arguments in their order. Without
// the option, a per-user settings folder is made on first use (mode 0700)
// and given the installed Tolmu.ini.
// Throws Exception when the option has no value or is given twice, when
// the per-user folder cannot be made, and when the settings folder belongs
// to another user (root aside) or every user may write to it.
std::vector<std::string> TakeConfigDirOption(const std::vector<std::string>& args);
