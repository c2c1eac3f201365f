#include "core/ConfigDir.h"

#include "base/Exception.h"

#include <filesystem>
#include <system_error>
#include <unistd.h>

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

} // namespace

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
    return configDirOverride().empty() ? ProgramDir() : configDirOverride();
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
    return rest;
}
