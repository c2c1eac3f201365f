// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/ConfigDir.h"

#include "base/Exception.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string& configDirOverride()
{
    static std::string dir;
    return dir;
}

std::string withSlash(std::string dir)
{
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

std::string readProgramDir()
{
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || !exe.has_parent_path())
        return "./";
    return withSlash(exe.parent_path().string());
}

std::string readDataDir()
{
    const fs::path bin = fs::path(ProgramDir()).parent_path();
    if (bin.filename() != "bin")
        return {};
    const fs::path data = bin.parent_path() / "share" / "tolmu";
    std::error_code ec;
    return fs::is_directory(data, ec) ? withSlash(data.string()) : std::string();
}

const char* homeDir()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    const passwd* pw = ::getpwuid(::getuid());
    return pw ? pw->pw_dir : nullptr;
}

const std::string& defaultDir()
{
    static const std::string dir = [] {
        const std::string program = ProgramDir();
        const std::string chosen = DefaultConfigDir(program, DataDir(), ::access(program.c_str(), W_OK) == 0,
                                                    std::getenv("XDG_CONFIG_HOME"), homeDir());
        return chosen.empty() ? program : chosen;
    }();
    return dir;
}

} // namespace

// Settings hold passwords and name the programs Tolmu starts: a folder
// that another user may write to (or owns) could have them planted, so it
// is refused as ssh refuses such a folder for its keys. Root may own it.
void CheckSettingsFolder(const std::string& dir)
{
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return; // reading the settings then tells what is wrong
    if (st.st_uid != ::geteuid() && st.st_uid != 0) {
        const passwd* pw = ::getpwuid(st.st_uid);
        throw Exception("bad owner of the settings folder " + dir + ": it belongs to " +
                        (pw ? "user " + std::string(pw->pw_name) : "user id " + std::to_string(st.st_uid)) +
                        ", not to you; refusing to use it");
    }
    if (st.st_mode & S_IWOTH)
        throw Exception("bad permissions on the settings folder " + dir +
                        ": every user may write to it; refusing to use it (chmod o-w '" + dir + "' mends that)");
}

namespace {

// Makes the per-user folder (0700, as the settings hold passwords) and gives
// it the installed Tolmu.ini the first time, once the folder passed the
// check. Never over an existing file.
void prepareUserDir(const std::string& dir)
{
    if (dir == ProgramDir())
        return;
    std::error_code ec;
    const fs::path path(dir);
    // The folders above it first: their failure (a permission, as a rule)
    // is the reason to tell, not the missing parent it leads to.
    fs::create_directories(path.parent_path().parent_path(), ec);
    if (ec)
        throw Exception("cannot make the settings folder " + dir + ": " + ec.message());
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        throw Exception("cannot make the settings folder " + dir + ": " + std::strerror(errno));
    CheckSettingsFolder(dir);
    const std::string seed = DataDir() + "Tolmu.ini";
    if (!DataDir().empty() && !fs::exists(dir + "Tolmu.ini", ec) && fs::exists(seed, ec)) {
        fs::copy_file(seed, dir + "Tolmu.ini", ec);
        if (ec)
            throw Exception("cannot write " + dir + "Tolmu.ini: " + ec.message());
    }
}

} // namespace

std::string DataDir()
{
    static const std::string dir = readDataDir();
    return dir;
}

std::string DefaultConfigDir(const std::string& programDir, const std::string& dataDir, bool programDirWritable,
                             const char* xdgConfigHome, const char* home)
{
    std::error_code ec;
    if (fs::exists(programDir + "Tolmu.ini", ec) || (dataDir.empty() && programDirWritable))
        return programDir;
    // A relative XDG_CONFIG_HOME is invalid by the XDG rules: ignored.
    if (xdgConfigHome && xdgConfigHome[0] == '/')
        return withSlash(std::string(xdgConfigHome)) + "tolmu/";
    if (home && home[0] == '/')
        return withSlash(std::string(home)) + ".config/tolmu/";
    return {};
}

std::string DefaultConfigDir() { return defaultDir(); }

std::string ProgramDir()
{
    // Read once: every settings lookup asks for the settings path, and the
    // program does not move while it runs.
    static const std::string dir = readProgramDir();
    return dir;
}

void SetConfigDir(const std::string& dir)
{
    if (dir.empty()) {
        configDirOverride().clear();
        return;
    }
    std::error_code ec;
    std::filesystem::path abs = std::filesystem::absolute(dir, ec);
    configDirOverride() = withSlash(ec ? dir : abs.lexically_normal().string());
}

std::string ConfigDir()
{
    return configDirOverride().empty() ? defaultDir() : configDirOverride();
}

std::string SkinDirFor(const std::string& value)
{
    if (!value.empty() && value.front() == '/')
        return value;
    std::error_code ec;
    const std::string own = ConfigDir() + value;
    const std::string data = DataDir();
    if (data.empty() || fs::is_directory(own, ec) || !fs::is_directory(data + value, ec))
        return own;
    return data + value;
}

std::string SettingsFilePath() { return ConfigDir() + "Tolmu.ini"; }

std::string AccountsFilePath() { return ConfigDir() + "Accounts.ini"; }

std::vector<std::string> TakeConfigDirOption(const std::vector<std::string>& args)
{
    static const std::string option = "--config-dir";
    std::vector<std::string> rest;
    bool seen = false;
    std::string dir;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string value;
        if (a == option) {
            if (i + 1 >= args.size())
                throw Exception("option --config-dir needs a directory");
            value = args[++i];
        } else if (a.rfind(option + "=", 0) == 0) {
            value = a.substr(option.size() + 1);
        } else {
            rest.push_back(a);
            continue;
        }
        if (value.empty())
            throw Exception("option --config-dir needs a directory");
        if (seen)
            throw Exception("option --config-dir given twice");
        seen = true;
        dir = value;
    }
    if (seen)
        SetConfigDir(dir);
    else if (configDirOverride().empty())
        prepareUserDir(defaultDir());
    CheckSettingsFolder(ConfigDir());
    return rest;
}
