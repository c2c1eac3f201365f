// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/Autostart.h"

#include "base/AtomicFile.h"
#include "base/Exception.h"
#include "core/settings/ConfigDir.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char* const BuildTree = "Only an installed Tolmu can start when you log in; this one runs from its build folder.";
const char* const OtherSettings = "Tolmu starts at login with your own settings; this window uses the settings in ";

// Program as one argument of an Exec line: quoted when it holds a character
// the desktop entry rules reserve, then with the value's own escapes (a
// backslash written twice, a percent sign as the field code "%%").
std::string execArgument(const std::string& program)
{
    std::string argument;
    if (program.find_first_of(" \t\"'\\><~|&;$*?#()`") == std::string::npos) {
        argument = program;
    } else {
        argument = "\"";
        for (const char c : program) {
            if (c == '"' || c == '`' || c == '$' || c == '\\')
                argument += '\\';
            argument += c;
        }
        argument += '"';
    }
    std::string value;
    for (const char c : argument) {
        if (c == '\\')
            value += "\\\\";
        else if (c == '%')
            value += "%%";
        else
            value += c;
    }
    return value;
}

std::string autostartFile()
{
    // A relative XDG_CONFIG_HOME is invalid by the XDG rules: ignored.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return std::string(xdg) + "/autostart/tolmu.desktop";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.config/autostart/tolmu.desktop";
    return {};
}

bool sameFolder(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

bool hasControl(const std::string& text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20)
            return true;
    return false;
}

} // namespace

TAutostart TAutostart::ForThisProgram()
{
    TAutostart a;
    a.File = autostartFile();
    a.Program = ProgramDir() + "tolmu";
    if (DataDir().empty() || hasControl(a.Program))
        a.Unavailable = BuildTree;
    else if (!sameFolder(ConfigDir(), DefaultConfigDir()))
        a.Unavailable = OtherSettings + ConfigDir();
    else if (a.File.empty())
        a.Unavailable = "Neither XDG_CONFIG_HOME nor HOME names a folder for the autostart entry.";
    return a;
}

bool TAutostart::Enabled() const
{
    std::ifstream in(File);
    if (File.empty() || !in)
        return false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line == "Hidden=true")
            return false;
    }
    return true;
}

void TAutostart::Set(bool on) const
{
    if (File.empty())
        throw Exception("no folder for the autostart entry (XDG_CONFIG_HOME and HOME are not set)");
    if (on) {
        std::error_code ec;
        fs::create_directories(fs::path(File).parent_path(), ec);
        if (ec)
            throw Exception("cannot make the folder of " + File + ": " + ec.message());
        WriteFileAtomically(File, Entry(), 0644);
    } else if (::unlink(File.c_str()) != 0 && errno != ENOENT) {
        throw Exception("cannot remove " + File + ": " + std::strerror(errno));
    }
}

std::string TAutostart::Entry() const
{
    std::string entry = "[Desktop Entry]\n"
                        "Type=Application\n"
                        "Name=Tolmu\n"
                        "Comment=Check POP3 mailboxes and show when new mail is waiting\n"
                        "Exec=" +
        execArgument(Program) + "\n";
    // Once the program is removed, the session skips the entry (a path no
    // line can hold is left to Exec alone).
    if (Program.find_first_of("\r\n") == std::string::npos)
        entry += "TryExec=" + Program + "\n";
    // The icon the package installs (the hicolor theme's).
    return entry + "Icon=org.tolmu.Tolmu\n"
                   "Terminal=false\n";
}
