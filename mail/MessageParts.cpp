// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/MessageParts.h"

#include "mail/MimeFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool TAttachment::SaveToFile(const std::string& destination) const
{
    std::string target = destination;
    if (!target.empty() && target.back() == '/')
        target.pop_back();
    if (target.empty() || StoredPathName.empty())
        return false;
    // The source is opened first: a missing copy must not truncate the
    // file already at the destination.
    mime::FileDescriptor in(::open(StoredPathName.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return false;
    mime::FileDescriptor out(::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (out.get() < 0)
        return false;
    // Only a regular file is removed after a failure: a device or pipe
    // named as the destination is the user's, not a half-written copy.
    struct stat st {};
    const bool regular = ::fstat(out.get(), &st) == 0 && S_ISREG(st.st_mode);
    char buf[64 * 1024];
    for (;;) {
        const ssize_t r = ::read(in.get(), buf, sizeof buf);
        if (r < 0 && errno == EINTR)
            continue;
        bool failed = r < 0;
        for (ssize_t done = 0; !failed && done < r;) {
            const ssize_t w = ::write(out.get(), buf + done, static_cast<std::size_t>(r - done));
            if (w < 0 && errno == EINTR)
                continue;
            failed = w < 0;
            done += w;
        }
        if (!failed && r == 0 && out.close())
            return true;
        if (failed || r == 0) {
            // A half-written copy (a full disk) is worse than none.
            out.close();
            if (regular)
                ::unlink(target.c_str());
            return false;
        }
    }
}
