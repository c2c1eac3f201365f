// SPDX-License-Identifier: GPL-3.0-or-later
// "Start Tolmu when I log in" on the Options page, offscreen with the real
// main window behind it: the autostart entry under a private
// XDG_CONFIG_HOME, written or removed by OK only. The build tree offers no
// entry, so the rows stand in an installed program.
#include "tests/config/DialogFixture.h"

#include <filesystem>
#include <memory>

namespace {

const char* const Installed = "/opt/my tolmu/bin/tolmu";
const char* const SwitchedOff = "[Desktop Entry]\nType=Application\nName=Tolmu\nExec=tolmu\nHidden=true\n";

struct Case {
    const char* name;
    const char* before; // the entry before ("": none; "ours": the one OK writes)
    bool shown;         // the box as the dialog opens
    bool tick;          // the box as OK or Close finds it
    bool ok;
    const char* after;
};

const Case Cases[] = {
    {"TickedWithOkWritesTheEntry", "", false, true, true, "ours"},
    {"TickedWithCloseWritesNothing", "", false, true, false, ""},
    {"UntickedWithOkRemovesIt", "ours", true, false, true, ""},
    {"UntickedWithCloseKeepsIt", "ours", true, false, false, "ours"},
    {"EntrySwitchedOffShowsUntickedAndStays", SwitchedOff, false, false, true, SwitchedOff},
    {"TickingAnEntrySwitchedOffWritesOurs", SwitchedOff, false, true, true, "ours"},
};

class Autostart : public testsupport::DialogBase<testing::TestWithParam<Case>> {
protected:
    void SetUp() override
    {
        DialogBase::SetUp();
        ::setenv("XDG_CONFIG_HOME", (m_dir + "xdg").c_str(), 1);
    }
    void TearDown() override
    {
        DialogBase::TearDown();
        ::unsetenv("XDG_CONFIG_HOME");
    }

    std::string entryFile() const { return m_dir + "xdg/autostart/tolmu.desktop"; }
};

} // namespace

TEST_P(Autostart, OkWritesOrRemovesTheEntry)
{
    const Case& c = GetParam();
    TAutostart& autostart = w->Config().OptPan->Autostart;
    EXPECT_EQ(autostart.File, entryFile());
    autostart.Program = Installed;
    autostart.Unavailable.clear();
    const auto content = [&](const std::string& text) { return text == "ours" ? autostart.Entry() : text; };
    if (*c.before)
        writeFile(entryFile(), content(c.before));

    configure([&](TConfig& d) {
        EXPECT_TRUE(d.OptPan->ChkStart->isEnabled());
        EXPECT_EQ(d.OptPan->ChkStart->isChecked(), c.shown);
        if (d.OptPan->ChkStart->isChecked() != c.tick)
            QTest::mouseClick(d.OptPan->ChkStart, Qt::LeftButton, {}, QPoint(6, d.OptPan->ChkStart->height() / 2));
        QTest::mouseClick(c.ok ? d.OK : d.Cancel, Qt::LeftButton);
    });
    EXPECT_TRUE(prompt.shown.empty()) << prompt.shown.front();
    if (*c.after) {
        EXPECT_EQ(readFile(entryFile()), content(c.after));
    } else {
        EXPECT_FALSE(std::filesystem::exists(entryFile()));
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Autostart, testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Started at login, Tolmu is there to check: ticking the box ticks
// "Autoconnect" too, and OK keeps both.
TEST_F(Autostart, TickingStartAtLoginAlsoConnectsAtStart)
{
    w->Config().OptPan->Autostart.Program = Installed;
    w->Config().OptPan->Autostart.Unavailable.clear();
    configure([&](TConfig& d) {
        d.OptPan->ChkAuto->setChecked(false);
        QTest::mouseClick(d.OptPan->ChkStart, Qt::LeftButton, {}, QPoint(6, d.OptPan->ChkStart->height() / 2));
        EXPECT_TRUE(d.OptPan->ChkStart->isChecked());
        EXPECT_TRUE(d.OptPan->ChkAuto->isChecked());
        QTest::mouseClick(d.OK, Qt::LeftButton);
    });
    EXPECT_TRUE(Settings.AutoConnect);
}

TEST_F(Autostart, TheEntryStartsTheProgramAndValidates)
{
    TAutostart& autostart = w->Config().OptPan->Autostart;
    autostart.Program = Installed;
    autostart.Set(true);
    const std::string entry = readFile(entryFile());
    EXPECT_NE(entry.find("\nExec=\"/opt/my tolmu/bin/tolmu\"\n"), std::string::npos);
    // A removed program leaves no entry pointing at nothing, and the icon
    // is the one the package installs.
    EXPECT_NE(entry.find("\nTryExec=/opt/my tolmu/bin/tolmu\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nIcon=org.tolmu.Tolmu\n"), std::string::npos) << entry;
    const std::string validate = "desktop-file-validate '" + entryFile() + "'";
    EXPECT_EQ(std::system(validate.c_str()), 0);
}

TEST_F(Autostart, TheBuildTreeShowsTheBoxGreyAndSaysWhy)
{
    configure([&](TConfig& d) {
        EXPECT_FALSE(d.OptPan->ChkStart->isEnabled());
        EXPECT_TRUE(d.OptPan->ChkStart->toolTip().contains("build folder"))
            << d.OptPan->ChkStart->toolTip().toStdString();
        QTest::mouseClick(d.OK, Qt::LeftButton);
    });
    EXPECT_FALSE(std::filesystem::exists(entryFile()));
}
