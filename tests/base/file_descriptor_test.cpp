// SPDX-License-Identifier: GPL-3.0-or-later
// The descriptor owner closes each descriptor exactly once: never one it
// handed on or gave up (a second close could hit a descriptor the number was
// reused for), always the one it drops; and its end keeps errno.
#include "base/FileDescriptor.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <unistd.h>
#include <utility>

namespace {

bool isOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

int openNull() { return ::open("/dev/null", O_RDONLY | O_CLOEXEC); }

} // namespace

TEST(FileDescriptor, ClosesExactlyWhatItStillHolds)
{
    // a and b are fresh descriptors; keep outlives the step, so what it
    // holds must still be open when the step is over.
    struct Row {
        const char* name;
        std::function<void(FileDescriptor& keep, int a, int b)> step;
        bool aOpen, bOpen;
    } rows[] = {
        {"an owner's end closes", [](FileDescriptor&, int a, int) { FileDescriptor f(a); }, false, true},
        {"a moved-from owner closes nothing",
         [](FileDescriptor& keep, int a, int) {
             FileDescriptor f(a);
             keep = FileDescriptor(std::move(f));
         },
         true, true},
        {"a move over a held one closes the old",
         [](FileDescriptor& keep, int a, int b) {
             keep.reset(a);
             FileDescriptor f(b);
             keep = std::move(f);
         },
         false, true},
        {"a move onto itself keeps it",
         [](FileDescriptor& keep, int a, int) {
             keep.reset(a);
             FileDescriptor& same = keep;
             keep = std::move(same);
         },
         true, true},
        {"reset closes the old and takes the new",
         [](FileDescriptor& keep, int a, int b) {
             keep.reset(a);
             keep.reset(b);
         },
         false, true},
        {"release gives up without closing",
         [](FileDescriptor&, int a, int) {
             FileDescriptor f(a);
             EXPECT_EQ(f.release(), a);
             EXPECT_FALSE(f.valid());
         },
         true, true},
        {"close closes now, the end nothing more",
         [](FileDescriptor& keep, int a, int b) {
             FileDescriptor f(a);
             EXPECT_TRUE(f.close());
             // a's number again, now keep's: f's end must leave it alone.
             keep.reset(::fcntl(b, F_DUPFD_CLOEXEC, a));
             EXPECT_EQ(keep.get(), a);
         },
         true, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const int a = openNull(), b = openNull();
        ASSERT_GE(a, 0);
        ASSERT_GE(b, 0);
        {
            FileDescriptor keep;
            r.step(keep, a, b);
            EXPECT_EQ(isOpen(a), r.aOpen);
            EXPECT_EQ(isOpen(b), r.bOpen);
        }
        // Whatever is still open here the row gave away: the test closes it.
        for (const int fd : {a, b})
            if (isOpen(fd))
                ::close(fd);
    }
}

TEST(FileDescriptor, TheEndKeepsErrnoACloseReportsIt)
{
    const int fd = openNull();
    ASSERT_GE(fd, 0);
    {
        FileDescriptor f(fd);
        errno = ENOENT;
    }
    EXPECT_EQ(errno, ENOENT) << "the reason a caller was about to report";
    EXPECT_FALSE(isOpen(fd));

    // A descriptor someone else closed: close() says so, the end stays quiet.
    const int gone = openNull();
    ASSERT_GE(gone, 0);
    ::close(gone);
    FileDescriptor f(gone);
    errno = 0;
    EXPECT_FALSE(f.close());
    EXPECT_EQ(errno, EBADF);
    EXPECT_FALSE(f.valid());
}
