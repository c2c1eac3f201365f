// tolmu --render-skin DIR OUT.png: the main window of a skin, drawn offscreen
// as a user would see it while connected with mail waiting, for skin authors
// and for tests. Pixels outside the window's outline are transparent.
#include "app/Cli.h"

#include "skin/BitmapText.h"
#include "skin/ImgBtn.h"
#include "skin/SkinPicture.h"
#include "skin/StateView.h"
#include "skin/WinUtil.h"
#include "skin/file/SkinFile.h"

#include <QApplication>
#include <QPainter>

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

} // namespace

int RunRenderSkin(const Args& args)
{
    if (args.size() != 2) {
        std::fputs("usage: tolmu --render-skin DIR OUT.png\n", stderr);
        return 2;
    }
    // Drawing needs no screen; without one Qt would refuse to start.
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "tolmu";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    CurrentSkinDir = args[0];
    if (CurrentSkinDir.empty() || CurrentSkinDir.back() != '/')
        CurrentSkinDir += '/';
    ReadSkin(); // ends the program with the skin's message when it is unusable
    const TSkinSettings& skin = SkinSettings;

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

    QImage shot = window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    // grab() ignores the outline; cut it here as the window system would.
    const std::optional<QRegion> outline = BitmapToRegion(&background, SkinMagenta, 0);
    if (outline) {
        QImage cut(shot.size(), QImage::Format_ARGB32);
        cut.fill(Qt::transparent);
        QPainter painter(&cut);
        painter.setClipRegion(*outline);
        painter.drawImage(0, 0, shot);
        painter.end();
        shot = cut;
    }
    if (!shot.save(QString::fromStdString(args[1]), "PNG")) {
        std::fprintf(stderr, "tolmu: cannot write %s\n", args[1].c_str());
        return 1;
    }
    return 0;
}
