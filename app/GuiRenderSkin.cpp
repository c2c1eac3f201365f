// SPDX-License-Identifier: GPL-3.0-or-later
// tolmu --render-skin DIR OUT.png: the main window of a skin, drawn offscreen
// as a user would see it while connected with mail waiting, for skin authors
// and for tests. Pixels outside the window's outline are transparent.
#include "app/Cli.h"
#include "core/window/CheckCycle.h"
#include "msgwin/MsgList.h"

#include "skin/BitmapText.h"
#include "skin/ImgBtn.h"
#include "skin/SkinPicture.h"
#include "skin/StateView.h"
#include "skin/WinUtil.h"
#include "skin/file/SkinFile.h"

#include <QApplication>
#include <QPainter>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

// The count the picture shows.
constexpr int ShownCount = 3;

void placeButton(QWidget& window, const std::string& off, const std::string& on, TIntPair at)
{
    auto* button = new TImgBtn(&window); // owned by window
    button->SetPicOff(LoadSkinBitmapOrThrow(QString::fromStdString(off)));
    button->SetPicOn(LoadSkinBitmapOrThrow(QString::fromStdString(on)));
    button->move(at.first, at.second);
}

TSkinPicture* placePicture(QWidget& window, TIntPair at)
{
    auto* picture = new TSkinPicture(&window); // owned by window
    picture->move(at.first, at.second);
    return picture;
}

// What the window shows, cut to the background's outline as the window
// system would (grab() ignores the outline), saved as a PNG.
int saveCut(QWidget& window, const QImage& background, const std::string& out)
{
    QImage shot = window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    int cellSize = 1;
    const std::optional<QRegion> outline = BitmapToRegion(&background, SkinMagenta, 0, &cellSize);
    if (cellSize > 1)
        std::fprintf(stderr, "tolmu: the outline would take more than %d rectangles; it is cut on cells of %d pixels\n",
                     MaxOutlineRects, cellSize);
    if (outline) {
        QImage cut(shot.size(), QImage::Format_ARGB32);
        cut.fill(Qt::transparent);
        QPainter painter(&cut);
        painter.setClipRegion(*outline);
        painter.drawImage(0, 0, shot);
        painter.end();
        shot = cut;
    }
    if (!shot.save(QString::fromStdString(out), "PNG")) {
        std::fprintf(stderr, "tolmu: cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}

// Ports for a window that is only drawn.
struct TSampleDesktop : TDesktop {
    bool OpenUrl(const std::string&) override { return false; }
    bool StartProgram(const std::string&, const std::string&) override { return false; }
    void PlaySound(const std::string&) override {}
    void StartMailProgram(std::function<void(const std::string&)>) override {}
};
struct TSamplePrompt : TPrompt {
    std::vector<std::string> shown;
    void Message(const std::string& text, Icon) override { shown.push_back(text); }
    Answer Ask(const std::string&) override { return Answer::No; }
    Answer Choose(const std::string&, const std::string&, const std::string&) override { return Answer::Cancel; }
    std::optional<std::string> OpenFile(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::optional<std::string> SaveFile(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::optional<std::string> PickFolder(const std::string&, const std::string&) override { return {}; }
};

// The message window of the skin with a sample message in its text area.
int renderMessageWindow(const std::string& out)
{
    if (NoMsgWindow) {
        std::fputs("tolmu: this skin has no message window\n", stderr);
        return 1;
    }
    TInlineMailWorker worker;
    TSampleDesktop desktop;
    TSamplePrompt prompt;
    TNoCycleView view;
    TAccountStore noAccounts(ConfigDir());
    TCheckCycle cycle(view, worker, prompt, desktop, noAccounts);
    QTimer timer;
    TMsgList window(worker, prompt, desktop, cycle, timer);
    window.FormShow();
    const QImage background = ShapeWindow(window, QString::fromStdString(SkinSettings.background.msgbkng));
    if (background.isNull() || !prompt.shown.empty()) {
        std::fprintf(stderr, "tolmu: %s\n", prompt.shown.empty() ? "cannot load the message window's background"
                                                                  : prompt.shown.front().c_str());
        return 1;
    }
    window.ShowLines({"From : Ada <ada@example.org>", "Subj : Lunch on Friday?", "Date : 12/04/26", "File : 1",
                      std::string(26, '_'), "", "Hello,", "", "shall we meet at noon?", "", "Ada"});
    return saveCut(window, background, out);
}

} // namespace

int RunRenderSkin(const Args& args)
{
    Args rest;
    bool messageWindow = false;
    for (const std::string& a : args) {
        if (a == "--message-window")
            messageWindow = true;
        else
            rest.push_back(a);
    }
    if (rest.size() != 2) {
        std::fputs("usage: tolmu --render-skin DIR OUT.png [--message-window]\n", stderr);
        return 2;
    }
    // Drawing needs no screen; without one Qt would refuse to start.
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "tolmu";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    CurrentSkinDir = rest[0];
    if (CurrentSkinDir.empty() || CurrentSkinDir.back() != '/')
        CurrentSkinDir += '/';
    ReadSkin(); // ends the program with the skin's message when it is unusable
    const TSkinSettings& skin = SkinSettings;
    if (messageWindow)
        return renderMessageWindow(rest[1]);

    TShapedWindow window;
    window.SetBackgroundFile(QString::fromStdString(skin.background.main));
    const QImage background = ShapeWindow(window, QString::fromStdString(skin.background.main));
    if (background.isNull()) {
        std::fprintf(stderr, "tolmu: cannot load the background %s\n", skin.background.main.c_str());
        return 1;
    }

    placeButton(window, skin.connect.cnxbtnnormal, skin.connect.cnxbtnselect, skin.connect.position);
    placeButton(window, skin.readmsg.readbtnnormal, skin.readmsg.readbtnselect, skin.readmsg.position);
    placeButton(window, skin.disconnect.disbtnnormal, skin.disconnect.disbtnselect,
                skin.disconnect.position);
    placeButton(window, skin.mailclient.runmailnormal, skin.mailclient.runmailselect,
                skin.mailclient.position);

    TStateView view;
    view.STATBMP = placePicture(window, skin.status.position);
    view.NBMSGBMP = placePicture(window, skin.nbmsg.position);
    view.Online = placePicture(window, skin.online.position);
    view.FLAG = placePicture(window, skin.youhavemail.position);
    bool online = true;
    ShowConnectionState(skin, view, online, ShownCount);
    // As after a check that found new mail.
    view.FLAG->SetPicture(LoadSkinBitmapOrThrow(QString::fromStdString(skin.youhavemail.gotmail)));

    return saveCut(window, background, rest[1]);
}
