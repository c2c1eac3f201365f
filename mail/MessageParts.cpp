#include "mail/MessageParts.h"

#include <filesystem>
#include <system_error>

bool TAttachment::SaveToFile(const std::string& destination) const
{
    std::string target = destination;
    if (!target.empty() && target.back() == '/')
        target.pop_back();
    if (target.empty() || StoredPathName.empty())
        return false;
    std::error_code ec;
    std::filesystem::copy_file(StoredPathName, target,
                               std::filesystem::copy_options::overwrite_existing, ec);
    return !ec;
}
