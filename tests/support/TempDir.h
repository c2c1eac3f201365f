// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A fresh private folder for one test or run, under $TMPDIR (else /tmp).
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <sys/stat.h>

namespace testsupport {

// Creates "<tmp>/<prefix>-XXXXXX" (mode 0700) and returns its path. Throws
// std::runtime_error when it cannot.
inline std::string MakeTempDir(const std::string& prefix)
{
    const char* t = std::getenv("TMPDIR");
    std::string templ = std::string(t && *t ? t : "/tmp") + "/" + prefix + "-XXXXXX";
    if (!::mkdtemp(templ.data()))
        throw std::runtime_error("cannot create a folder from " + templ);
    return templ;
}

// Lets a server's unprivileged user reach files below dir: every folder from
// dir up to the root gets the search bit for group and others if it lacks it.
inline void OpenFolderChain(const std::filesystem::path& dir)
{
    for (std::filesystem::path p = dir; !p.empty() && p != p.root_path(); p = p.parent_path()) {
        struct stat st {};
        if (::stat(p.c_str(), &st) == 0 && !(st.st_mode & S_IXOTH))
            ::chmod(p.c_str(), (st.st_mode & 07777) | S_IXOTH | S_IXGRP);
    }
}

// A MakeTempDir folder, removed with everything in it when the object goes.
// With useAsTmpdir, TMPDIR names it from then on, so the program's own
// temporary files (attachments) land there and can be counted.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& prefix, bool useAsTmpdir = false) : path(MakeTempDir(prefix))
    {
        if (useAsTmpdir)
            ::setenv("TMPDIR", path.c_str(), 1);
    }
    ~ScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string path;
};

} // namespace testsupport
