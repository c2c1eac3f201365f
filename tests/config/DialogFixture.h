// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The configuration dialog's fixture: a fresh settings folder with no
// account, the real main window on it (its mail work run in place), and the
// dialog reached through it, message boxes and file dialogs answered by the
// prompt double.
#include "app/MainWindow.h"
#include "core/settings/Settings.h"
#include "skin/WinUtil.h"
#include "tests/skin/QtTestApp.h"
#include "tests/support/PromptDouble.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace testsupport {

inline const std::string Midnight = TOLMU_SOURCE_DIR "/assets/skins/default/";

// Every settings folder of the test binary, removed as it ends.
inline ScratchDir& configScratch()
{
    static ScratchDir scratch("tolmu-config");
    return scratch;
}

// A fresh settings folder for each test, whichever fixture it uses.
inline int nextSet()
{
    static int n = 0;
    return ++n;
}

// Base: testing::Test, or testing::TestWithParam<...> for a table.
template <class Base = testing::Test> class DialogBase : public Base {
protected:
    void SetUp() override
    {
        qtTestApp();
        m_dir = configScratch().path + "/set" + std::to_string(nextSet()) + "/";
        writeFile(m_dir + "Tolmu.ini", "current_skin = " + Midnight + "\r\nposX = 30\r\nposY = 40\r\nminutes = 5\r\n");
        SetConfigDir(m_dir);
        accounts = std::make_unique<TAccountStore>(m_dir);
        accounts->Write();
        w = std::make_unique<TTolmu>(prompt, desktop, worker, *accounts);
        w->FormCreate();
        w->FormActivate();
        w->show();
    }
    void TearDown() override
    {
        w.reset();
        SetConfigDir("");
    }

    TConfig& dialog() { return w->Config(); }

    // Runs "Configure" with steps done inside its modal loop.
    void configure(const std::function<void(TConfig&)>& steps)
    {
        QTimer::singleShot(0, [&] { steps(dialog()); });
        w->Config1Click();
    }

    static void type(QLineEdit* field, const QString& text)
    {
        field->clear();
        QTest::keyClicks(field, text);
    }
    void fill(const QString& name, const QString& host, const QString& port = "110")
    {
        type(dialog().PopPan->NAccount, name);
        type(dialog().PopPan->HostTxt, host);
        type(dialog().PopPan->UserName, "me");
        type(dialog().PopPan->Password, "secret");
        type(dialog().PopPan->PortTxt, port);
    }
    void select(int row)
    {
        QListWidget* list = dialog().PopPan->LstAcc;
        const QRect at = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at.center());
    }

    // A pixel where the two skins' backgrounds differ, and its colour on the
    // window as painted now.
    QRgb painted(QPoint at) { return w->grab().toImage().pixel(at); }
    static QPoint differingPixel(const QImage& a, const QImage& b)
    {
        for (int y = 0; y < std::min(a.height(), b.height()); ++y)
            for (int x = 0; x < std::min(a.width(), b.width()); ++x)
                if (a.pixel(x, y) != b.pixel(x, y) && a.pixel(x, y) != SkinMagenta && b.pixel(x, y) != SkinMagenta)
                    return {x, y};
        return {-1, -1};
    }

    std::string m_dir;
    testsupport::PromptDouble prompt;
    testsupport::DesktopDouble desktop;
    std::unique_ptr<TAccountStore> accounts;
    TInlineMailWorker worker;
    std::unique_ptr<TTolmu> w;
};

using Dialog = DialogBase<>;

} // namespace testsupport
