// `tolmu --show` against a real Dovecot holding messages made by Python's
// email package: the message window's lines, saved attachments identical to
// the originals, and the exit status and text of failures.
#include "core/Settings.h"
#include "tests/mail/MessageFiles.h"
#include "tests/support/MessageDovecot.h"
#include "tests/support/RunTolmu.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <sys/wait.h>

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

testsupport::MessageDovecot* const mail = testsupport::AddMessageDovecot(scratch.path, 100 * 1024, [](Dovecot& d) {
    d.AddUser("upaths", "secret");
    d.Deliver("upaths", PathNames);
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
std::string configDir(const std::vector<TPOPAcc>& accounts)
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
    AccountCount = static_cast<int32_t>(accounts.size());
    for (std::size_t i = 0; i < accounts.size(); ++i)
        AccountTable[i] = accounts[i];
    WriteAccountsFile();
    return dir;
}

TPOPAcc account(const std::string& name, const std::string& user, int port, bool inactive = false)
{
    TPOPAcc a;
    a.AccName = name;
    a.HostName = "127.0.0.1";
    a.UserName = user;
    a.Password = "secret";
    a.PortNumber = port;
    a.Inactive = inactive;
    return a;
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
