// SPDX-License-Identifier: GPL-3.0-or-later
#include "skin/StateView.h"

#include "base/Report.h"
#include "skin/BitmapText.h"
#include "skin/SkinPicture.h"
#include "skin/WinUtil.h"

#include <QPainter>
#include <QPixmap>

namespace {

QImage loadState(const std::string& file)
{
    return LoadSkinBitmap(QString::fromStdString(file));
}

void drawStatus(const TSkinSettings& skin, TSkinPicture& statbmp, const std::string& text)
{
    DrawBitmapText(statbmp, text, skin.status.size.first, skin.status.size.second,
                   skin.status.fontbmp, TBitmapFontLayout::Status, skin.status.maxchar);
}

void drawCount(const TSkinSettings& skin, TSkinPicture& nbmsgbmp, const std::string& text)
{
    DrawBitmapText(nbmsgbmp, text, skin.nbmsg.size.first, skin.nbmsg.size.second,
                   skin.nbmsg.nbmsgbmp, TBitmapFontLayout::Digits, skin.status.maxchar);
}

[[noreturn]] void stopClosing(TStateView& view, const std::string& message)
{
    if (view.CloseConnection)
        view.CloseConnection();
    report::Fatal(message);
}

// A round badge in the state's colour, for skins without tray pictures.
QPixmap builtInTrayIcon(TTrayState state)
{
    const QColor colour = state == TTrayState::Offline  ? QColor(120, 128, 140)
                          : state == TTrayState::Online ? QColor(31, 168, 232)
                                                        : QColor(255, 82, 82);
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour.darker(150), 1.5));
    p.setBrush(colour);
    p.drawEllipse(QRectF(3, 3, 26, 26));
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(9, 11, 14, 10));
    p.drawPolyline(QPolygonF({QPointF(9, 11), QPointF(16, 17), QPointF(23, 11)}));
    return pixmap;
}

} // namespace

QIcon TrayIconFor(TTrayState state, const std::string& skinDir)
{
    const QString themed = state == TTrayState::Offline  ? QStringLiteral("network-offline")
                           : state == TTrayState::Online ? QStringLiteral("mail-read")
                                                         : QStringLiteral("mail-unread");
    if (QIcon::hasThemeIcon(themed))
        return QIcon::fromTheme(themed);
    const char* name = state == TTrayState::Offline  ? "tray_offline.png"
                       : state == TTrayState::Online ? "tray_online.png"
                                                     : "tray_mail.png";
    const QImage picture = LoadSkinBitmap(QString::fromStdString(skinDir + name));
    if (!picture.isNull())
        return QIcon(QPixmap::fromImage(picture));
    return QIcon(builtInTrayIcon(state));
}

std::string MessageCountText(const std::string& accName, int count)
{
    return accName + "-" + std::to_string(count) + (count == 1 ? " message" : " messages");
}

void ShowMessageCount(const TSkinSettings& skin, TSkinPicture& statbmp,
                      const std::string& accName, int count)
{
    drawStatus(skin, statbmp, MessageCountText(accName, count));
}

void ShowConnectionState(const TSkinSettings& skin, TStateView& view, bool onlineMode,
                         int messageCount)
{
    const QImage noMail = loadState(skin.youhavemail.nomail);
    if (noMail.isNull())
        stopClosing(view, "Invalid file for section [youhavemail]\rOnline= ... in Skin.ini");
    view.FLAG->SetPicture(noMail);

    if (onlineMode) {
        drawStatus(skin, *view.STATBMP, "Connected");
        drawCount(skin, *view.NBMSGBMP, std::to_string(messageCount));
        view.Online->setToolTip(QStringLiteral("Connected"));
        if (view.SetTrayIcon)
            view.SetTrayIcon(TTrayState::Online);
        const QImage online = loadState(skin.online.onlinebmp);
        if (online.isNull())
            stopClosing(view, "Invalid file for section [Online]\rOnline= ... in Skin.ini");
        view.Online->SetPicture(online);
        return;
    }

    drawStatus(skin, *view.STATBMP, "Disconnected");
    drawCount(skin, *view.NBMSGBMP, "0");
    view.Online->setToolTip(QStringLiteral("Disconnected"));
    if (view.SetTrayIcon)
        view.SetTrayIcon(TTrayState::Offline);
    const QImage offline = loadState(skin.online.notonlinebmp);
    if (offline.isNull())
        report::Fatal("Invalid file for section [Online]\rNotOnline= ... in Skin.ini");
    view.Online->SetPicture(offline);
}
