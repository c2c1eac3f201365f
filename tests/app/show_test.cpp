// SPDX-License-Identifier: GPL-3.0-or-later
// `tolmu --show` against a real Dovecot holding messages made by Python's
// email package: the message window's lines, saved attachments identical to
// the originals, and the exit status and text of failures.
#include "core/settings/Settings.h"
#include "tests/mail/MessageFiles.h"
#include "tests/support/AccountRows.h"
#include "tests/support/MessageDovecot.h"
#include "tests/support/RunTolmu.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using testmail::TestMessage;
using testsupport::Dovecot;
using testsupport::UserFor;

namespace {

testsupport::ScratchDir scratch("tolmu-show");

// Attachment names that try to leave the folder they are saved into.
const std::string PathNames =
    "From: x@example.org\r\nSubject: paths\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
    "--b\r\nContent-Type: application/x\r\nContent-Disposition: attachment; filename=\"../../up.bin\"\r\n"
    "Content-Transfer-Encoding: base64\r\n\r\nYWJj\r\n"
    "--b\r\nContent-Type: application/x\r\nContent-Disposition: attachment; filename=\"C:\\\\dir\\\\win.bin\"\r\n"
    "Content-Transfer-Encoding: base64\r\n\r\nZGVm\r\n"
    "--b\r\nContent-Type: application/x\r\nContent-Disposition: attachment; filename=\"..\"\r\n"
    "Content-Transfer-Encoding: base64\r\n\r\nZ2hp\r\n--b--\r\n";

// A sender who tries to drive the reader's terminal: set its title, clear
// the screen, ring the bell, move back over a line.
const std::string TerminalTricks = "From: x@example.org\r\nSubject: hi \x1b]0;owned\x07\r\n\r\n"
                                   "clear\x1b[2J\x1b[Hscreen\r\nbell\x07\b\r\n";
// More attachments than a message may store: the first ones are saved.
std::string manyAttachments(int n)
{
    std::string m = "From: x@example.org\r\nSubject: many\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
                    "--b\r\nContent-Type: text/plain\r\n\r\nmany\r\n";
    for (int i = 0; i < n; ++i)
        m += "--b\r\nContent-Type: application/x\r\nContent-Disposition: attachment; filename=a" +
             std::to_string(i) + ".bin\r\nContent-Transfer-Encoding: base64\r\n\r\nYWJj\r\n";
    return m + "--b--\r\n";
}

// Millions of empty lines: cheap to send, costly to keep line by line.
std::string emptyLines(std::size_t n)
{
    std::string m = "From: x@example.org\r\nSubject: empty lines\r\n\r\n";
    m.reserve(m.size() + 2 * n + 8);
    for (std::size_t i = 0; i < n; ++i)
        m += "\r\n";
    return m + "end\r\n";
}

// An HTML mail of 20,000 unclosed <div> (100 KB): each is an error to an
// HTML parser, and a parser that keeps a copy of the open tags per error
// needs gigabytes for it.
std::string nestedDivs(int n)
{
    std::string m = "From: x@example.org\r\nSubject: divs\r\nContent-Type: text/html; charset=utf-8\r\n\r\n";
    for (int i = 0; i < n; ++i)
        m += i % 100 == 99 ? "<div>\r\n" : "<div>";
    return m + "deep\r\n";
}

testsupport::MessageDovecot* const mail = testsupport::AddMessageDovecot(scratch.path, 100 * 1024, [](Dovecot& d) {
    d.AddUser("upaths", "secret");
    d.Deliver("upaths", PathNames);
    d.AddUser("utricks", "secret");
    d.Deliver("utricks", TerminalTricks);
    d.AddUser("umany", "secret");
    d.Deliver("umany", manyAttachments(10001));
    d.AddUser("ulines", "secret");
    d.Deliver("ulines", emptyLines(5000000));
    d.AddUser("udivs", "secret");
    d.Deliver("udivs", nestedDivs(20000));
});

} // namespace

namespace {

using testsupport::RunResult;

// Runs the built tolmu with args. The C locale fixes the short date format
// ("12/06/26"); the program's attachment files (kept by design) go to the
// scratch folder.
RunResult runTolmu(const std::string& args)
{
    return testsupport::RunTolmu("TMPDIR='" + scratch.path + "' LC_ALL=C", args, scratch.path + "/stderr");
}

// A settings folder with the bundled skin and the given accounts.
std::string configDir(const std::vector<testsupport::AccountRow>& accounts)
{
    static int n = 0;
    const std::string dir = scratch.path + "/config" + std::to_string(++n);
    fs::create_directories(dir);
    {
        std::FILE* f = std::fopen((dir + "/Tolmu.ini").c_str(), "wb");
        std::fprintf(f, "current_skin = %s/assets/skins/default/\r\n", TOLMU_SOURCE_DIR);
        std::fclose(f);
    }
    SetConfigDir(dir);
    testsupport::WriteAccounts(dir + "/", accounts);
    return dir;
}

testsupport::AccountRow account(const std::string& name, const std::string& user, int port, bool inactive = false)
{
    return {name, "127.0.0.1", user, "secret", inactive, port};
}

} // namespace

TEST(ShowCommand, PrintsTheWindowLinesAndSavesAttachments)
{
    if (!mail->Server())
        GTEST_SKIP() << "dovecot is not available";
    const TestMessage& nested = mail->ByName("nested");
    const std::string cfg = configDir({account("off", UserFor(mail->ByName("plain")), mail->Server()->Port(), true),
                                       account("first", UserFor(nested), mail->Server()->Port()),
                                       account("plain", UserFor(mail->ByName("plain")), mail->Server()->Port())});
    const std::string saveDir = scratch.path + "/saved";
    fs::create_directories(saveDir);
    // A file of the same name is kept; the copy gets a numbered name.
    { std::FILE* f = std::fopen((saveDir + "/a.zip").c_str(), "wb"); std::fputs("mine", f); std::fclose(f); }

    RunResult r = runTolmu("--show 1 --config-dir '" + cfg + "' --save-attachments '" + saveDir + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    std::string expected = "From : Ann Example <ann@example.org>\nSubj : nested\nDate : 12/06/26\nFile : 2\n" +
                           std::string(26, '_') + "\n\n";
    ASSERT_TRUE(nested.hasShown);
    for (const std::string& l : nested.shown)
        expected += l + "\n";
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(testmail::readFile(saveDir + "/a.zip"), "mine");
    EXPECT_TRUE(testmail::readFile(saveDir + "/a (1).zip") == nested.attachments[0].original);
    EXPECT_TRUE(testmail::readFile(saveDir + "/" + nested.attachments[1].fileName) == nested.attachments[1].original);

    r = runTolmu("--show 1 --headers-only --account plain --config-dir '" + cfg + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "From : Ann Example <ann@example.org>\nSubj : plain\nDate : 12/06/26\n" + std::string(26, '_') +
                         "\n\n");
}

TEST(ShowCommand, ServerAndUsageErrors)
{
    const int closedPort = testsupport::FreePort();
    const std::string cfg = configDir({account("gone", "nobody", closedPort)});
    struct Row {
        std::string args;
        int status;
        std::string errStart;
    } rows[] = {
        {"--show 1", 1, "tolmu: Socket Error #10061\nConnection refused."},
        {"--show", 2, "tolmu: --show needs a message number"},
        {"--show x", 2, "tolmu: 'x' is not a message number"},
        {"--show 1 --account other", 2, "tolmu: no account named 'other'"},
    };
    for (const Row& r : rows) {
        const RunResult got = runTolmu(r.args + " --config-dir '" + cfg + "'");
        EXPECT_EQ(got.status, r.status) << r.args;
        EXPECT_EQ(got.err.rfind(r.errStart, 0), 0u) << r.args << ": " << got.err;
        EXPECT_TRUE(got.out.empty()) << r.args;
    }
    if (!mail->Server())
        return;
    const std::string cfg2 = configDir({account("p", UserFor(mail->ByName("plain")), mail->Server()->Port())});
    const RunResult missing = runTolmu("--show 7 --config-dir '" + cfg2 + "'");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err.rfind("tolmu: -ERR", 0), 0u) << missing.err;
}

TEST(ShowCommand, SavedNamesStayInTheFolder)
{
    if (!mail->Server())
        GTEST_SKIP() << "dovecot is not available";
    const std::string cfg = configDir({account("p", "upaths", mail->Server()->Port())});
    const std::string saveDir = scratch.path + "/paths/inner";
    fs::create_directories(saveDir);
    const RunResult r = runTolmu("--show 1 --config-dir '" + cfg + "' --save-attachments '" + saveDir + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("File : 3\n"), std::string::npos) << r.out;
    EXPECT_EQ(testmail::readFile(saveDir + "/up.bin"), "abc");
    EXPECT_EQ(testmail::readFile(saveDir + "/win.bin"), "def");
    EXPECT_EQ(testmail::readFile(saveDir + "/attachment"), "ghi");
    EXPECT_FALSE(fs::exists(scratch.path + "/up.bin"));
    std::size_t files = 0;
    for (const auto& e : fs::directory_iterator(scratch.path + "/paths"))
        files += e.is_regular_file();
    EXPECT_EQ(files, 0u);
}

TEST(ShowCommand, ControlCharactersFromTheSenderAreShownNotObeyed)
{
    if (!mail->Server())
        GTEST_SKIP() << "dovecot is not available";
    const std::string cfg = configDir({account("t", "utricks", mail->Server()->Port())});
    const RunResult r = runTolmu("--show 1 --config-dir '" + cfg + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "From : x@example.org\nSubj : hi \\e]0;owned\\x07\nDate : \nFile : 0\n" + std::string(26, '_')
                         + "\n\nclear\\e[2J\\e[Hscreen\nbell\\x07\\x08\n");
}

namespace {

std::size_t pbeFiles()
{
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(scratch.path))
        n += e.path().filename().string().rfind("PBE", 0) == 0;
    return n;
}

// Runs tolmu as runTolmu does and returns its peak resident size in KB;
// seconds gets the processor time it took, which a busy machine does not
// stretch as it stretches the time on the clock. One that runs past 60
// seconds is killed.
long peakKb(const std::string& args, int& status, double* seconds = nullptr)
{
    const std::string cmd = "exec timeout -s KILL 60 env TMPDIR='" + scratch.path + "' LC_ALL=C '" TOLMU_BINARY_DIR
                            "/tolmu' " + args + " >'" + scratch.path + "/stdout' 2>'" + scratch.path +
                            "/stderr' </dev/null";
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int st = 0;
    rusage usage{};
    wait4(pid, &st, 0, &usage);
    status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    if (seconds)
        *seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return usage.ru_maxrss;
}

} // namespace

// Every shape of the trial saves every attachment byte-exact, shows its
// text readable, and leaves no "PBE" copy behind.
TEST(ShowCommand, RealWorldShapesAndNothingLeftBehind)
{
    if (!mail->Server())
        GTEST_SKIP() << "dovecot is not available";
    for (const char* name : {"outlook", "pgp", "bounce", "names", "single", "koi8", "oddforms"}) {
        SCOPED_TRACE(name);
        const TestMessage& m = mail->ByName(name);
        const std::string cfg = configDir({account("a", UserFor(m), mail->Server()->Port())});
        const std::string saveDir = scratch.path + "/shapes-" + name;
        fs::create_directories(saveDir);
        const RunResult r = runTolmu("--show 1 --config-dir '" + cfg + "' --save-attachments '" + saveDir + "'");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("File : " + std::to_string(m.attachments.size()) + "\n"), std::string::npos) << r.out;
        if (!m.subjectShown.empty()) {
            EXPECT_NE(r.out.find("Subj : " + m.subjectShown + "\n"), std::string::npos) << r.out;
        }
        if (std::string(name) == "oddforms") {
            EXPECT_NE(r.out.find("Date : \n"), std::string::npos) << r.out;
        }
        std::string body;
        for (const std::string& l : m.shown)
            body += l + "\n";
        EXPECT_EQ(r.out.substr(r.out.size() - std::min(r.out.size(), body.size())), body);
        for (const testmail::ExpectedAttachment& a : m.attachments)
            EXPECT_TRUE(testmail::readFile(saveDir + "/" + a.fileName) == a.original) << a.fileName;
        EXPECT_EQ(pbeFiles(), 0u);
    }
    // --raw prints the lines as they arrived.
    const TestMessage& latin = mail->ByName("latin1");
    const std::string cfg = configDir({account("a", UserFor(latin), mail->Server()->Port())});
    const RunResult raw = runTolmu("--show 1 --raw --config-dir '" + cfg + "'");
    EXPECT_EQ(raw.status, 0) << raw.err;
    EXPECT_NE(raw.out.find("Subj : " + latin.subject + "\n"), std::string::npos) << raw.out;
    EXPECT_NE(raw.out.find("\n" + latin.text[0] + "\n"), std::string::npos) << raw.out;
    EXPECT_EQ(pbeFiles(), 0u);
}

// Past the parts bound the attachments read are still saved, the failure
// is named, and no copy is left.
TEST(ShowCommand, ManyAttachmentsSaveWhatWasRead)
{
    if (!mail->Server())
        GTEST_SKIP() << "dovecot is not available";
    const std::string cfg = configDir({account("a", "umany", mail->Server()->Port())});
    const std::string saveDir = scratch.path + "/many";
    fs::create_directories(saveDir);
    const RunResult r = runTolmu("--show 1 --config-dir '" + cfg + "' --save-attachments '" + saveDir + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("File : 9999\n"), std::string::npos);
    EXPECT_NE(r.err.find("more than 10000 parts"), std::string::npos) << r.err;
    std::size_t saved = 0;
    for (const auto& e : fs::directory_iterator(saveDir))
        saved += e.is_regular_file();
    EXPECT_EQ(saved, 9999u);
    EXPECT_EQ(testmail::readFile(saveDir + "/a9998.bin"), "abc");
    EXPECT_EQ(pbeFiles(), 0u);
}

// Five million empty lines: the text is cut at its line bound, the message
// says so, and tolmu stays far below 100 MB.
TEST(ShowCommand, MemoryFollowsTheBounds)
{
    if (!mail->Server())
        GTEST_SKIP() << "dovecot is not available";
    const std::string cfg = configDir({account("a", "ulines", mail->Server()->Port())});
    int status = -1;
    const long kb = peakKb("--show 1 --config-dir '" + cfg + "'", status);
    EXPECT_EQ(status, 1);
    EXPECT_LT(kb, 100 * 1024);
    std::printf("peak resident size: %ld KB\n", kb);
    const std::string err = testmail::readFile(scratch.path + "/stderr");
    EXPECT_NE(err.find("Message too large: text beyond 250000 lines was not stored."), std::string::npos) << err;
}

// The deepest HTML costs the display no more than a plain message: the
// parser keeps no error list, and the text below the depth shown is left.
TEST(ShowCommand, NestedHtmlStaysSmall)
{
    if (!mail->Server())
        GTEST_SKIP() << "dovecot is not available";
    const std::string cfg = configDir({account("a", "udivs", mail->Server()->Port())});
    int status = -1;
    double seconds = 0;
    const long kb = peakKb("--show 1 --config-dir '" + cfg + "'", status, &seconds);
    EXPECT_EQ(status, 0) << testmail::readFile(scratch.path + "/stderr");
    EXPECT_EQ(testmail::readFile(scratch.path + "/stdout").rfind("From : x@example.org\nSubj : divs\n", 0), 0u);
    EXPECT_LT(kb, 50 * 1024);
    // A generous bound, far above the half second it takes: the display
    // has to end, not to be fast.
    EXPECT_LT(seconds, 10.0);
    std::printf("peak resident size: %ld KB, processor time %.2f s\n", kb, seconds);
}
