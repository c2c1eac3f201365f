// SPDX-License-Identifier: GPL-3.0-or-later
// Paints Tolmu's bundled skins: every bitmap, the tray icons and skin.ini.
// Usage: tolmu_skingen OUTDIR   (writes OUTDIR/default and OUTDIR/sunrise)
//
// Everything is drawn anti-aliased, then keyed: a pixel is made magenta when
// it is mostly transparent, otherwise it is blended over what lies under it
// in the finished window, so no pink fringe shows at any outline.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>

#include <cstdio>
#include <functional>

namespace {

constexpr QRgb Magenta = 0xffff00ff;

using Draw = std::function<void(QPainter&)>;

QImage sprite(int w, int h, const Draw& draw)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    draw(p);
    return img;
}

// Blends art over backdrop (the part at `at`) and makes magenta every pixel
// whose coverage is below cut.
QImage keyOver(const QImage& art, const QImage& backdrop, QPoint at, int cut)
{
    QImage out = backdrop.copy(QRect(at, art.size())).convertToFormat(QImage::Format_RGB32);
    {
        QPainter p(&out);
        p.drawImage(0, 0, art);
    }
    const QImage a = art.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            if (qAlpha(a.pixel(x, y)) < cut)
                out.setPixel(x, y, Magenta);
    return out;
}

QImage solid(QSize size, QColor c)
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

bool save(const QImage& img, const QString& path)
{
    if (!img.convertToFormat(QImage::Format_RGB32).save(path, "BMP")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// ---- icons, drawn in a 24 x 24 box centred at (12, 12) ----

enum class Icon { Play, Refresh, Stop, Mail, Prev, Next, Reply, Trash, Close };

void drawIcon(QPainter& p, Icon icon, QColor c, qreal s)
{
    p.save();
    p.scale(s, s);
    QPen pen(c, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    QPainterPath path;
    switch (icon) {
    case Icon::Play:
        path.moveTo(9, 6.5);
        path.lineTo(18, 12);
        path.lineTo(9, 17.5);
        path.closeSubpath();
        p.setBrush(c);
        p.drawPath(path);
        break;
    case Icon::Refresh: {
        p.drawArc(QRectF(6, 6, 12, 12), 60 * 16, 280 * 16);
        QPainterPath head;
        head.moveTo(18.6, 4.8);
        head.lineTo(18.6, 10.2);
        head.lineTo(13.4, 9.2);
        head.closeSubpath();
        p.setBrush(c);
        p.setPen(QPen(c, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(head);
        break;
    }
    case Icon::Stop:
        p.setBrush(c);
        p.drawRoundedRect(QRectF(7.5, 7.5, 9, 9), 1.5, 1.5);
        break;
    case Icon::Mail:
        p.drawRoundedRect(QRectF(5.5, 7.5, 13, 9.5), 1.5, 1.5);
        path.moveTo(6, 8.5);
        path.lineTo(12, 13);
        path.lineTo(18, 8.5);
        p.drawPath(path);
        break;
    case Icon::Prev:
        path.moveTo(14, 7);
        path.lineTo(9, 12);
        path.lineTo(14, 17);
        p.drawPath(path);
        break;
    case Icon::Next:
        path.moveTo(10, 7);
        path.lineTo(15, 12);
        path.lineTo(10, 17);
        p.drawPath(path);
        break;
    case Icon::Reply:
        path.moveTo(10, 7.5);
        path.lineTo(6, 11.5);
        path.lineTo(10, 15.5);
        p.drawPath(path);
        path = QPainterPath();
        path.moveTo(6.5, 11.5);
        path.cubicTo(13, 11.5, 17.5, 12, 17.5, 17.5);
        p.drawPath(path);
        break;
    case Icon::Trash:
        p.drawLine(QPointF(6.5, 8), QPointF(17.5, 8));
        p.drawLine(QPointF(10.5, 6), QPointF(13.5, 6));
        path.moveTo(8, 8.5);
        path.lineTo(9, 18);
        path.lineTo(15, 18);
        path.lineTo(16, 8.5);
        p.drawPath(path);
        break;
    case Icon::Close:
        p.drawLine(QPointF(8, 8), QPointF(16, 16));
        p.drawLine(QPointF(16, 8), QPointF(8, 16));
        break;
    }
    p.restore();
}

// ---- a theme: colours, fonts and the places of everything ----

enum class ButtonShape { Circle, RoundedSquare };

struct Theme {
    QString dir, name, author, info;
    // button looks
    ButtonShape shape;
    QColor btnFace, btnEdge, btnIcon, btnHotFace, btnHotIcon, btnHotGlow;
    // status font
    QString statusFamily;
    int statusPx, statusCellW, statusCellH, statusBaseline;
    QColor statusInk, statusPaper;
    bool statusBold;
    // digit font
    QString digitFamily;
    int digitPx, digitCellW, digitCellH, digitBaseline;
    QColor digitInk, digitPaper, digitShadow;
    // state pictures
    QColor ledOn, ledOff, mailHot, mailCold;
    // message window
    QColor memoInk;
};

QImage button(const Theme& t, Icon icon, bool hot, int size)
{
    return sprite(size, size, [&](QPainter& p) {
        const QRectF r(1, 1, size - 2, size - 2);
        QColor face = hot ? t.btnHotFace : t.btnFace;
        QLinearGradient g(r.topLeft(), r.bottomLeft());
        g.setColorAt(0, face.lighter(hot ? 115 : 125));
        g.setColorAt(1, face);
        p.setBrush(g);
        p.setPen(QPen(hot ? t.btnHotGlow : t.btnEdge, 1));
        if (t.shape == ButtonShape::Circle)
            p.drawEllipse(r);
        else
            p.drawRoundedRect(r, 6, 6);
        p.translate((size - 24) / 2.0, (size - 24) / 2.0);
        drawIcon(p, icon, hot ? t.btnHotIcon : t.btnIcon, 1.0);
    });
}

QImage glyphStrip(const QString& family, int px, bool bold, int cellW, int cellH, int baseline,
                  const QStringList& rows, QColor ink, QColor paper, QColor shadow)
{
    const int cols = 26;
    QImage art = sprite(cols * cellW, int(rows.size()) * cellH, [&](QPainter& p) {
        QFont f(family);
        f.setPixelSize(px);
        f.setBold(bold);
        f.setHintingPreference(QFont::PreferFullHinting);
        p.setFont(f);
        const QFontMetricsF fm(f);
        for (int r = 0; r < rows.size(); ++r)
            for (int c = 0; c < rows[r].size(); ++c) {
                const QString ch = rows[r].mid(c, 1);
                const qreal x = c * cellW + (cellW - fm.horizontalAdvance(ch)) / 2.0;
                const qreal y = r * cellH + baseline;
                if (shadow.isValid()) {
                    p.setPen(shadow);
                    p.drawText(QPointF(x, y + 1), ch);
                }
                p.setPen(ink);
                p.drawText(QPointF(x, y), ch);
            }
    });
    return keyOver(art, solid(art.size(), paper), QPoint(0, 0), 40);
}

QImage statusFont(const Theme& t)
{
    QString symbols;
    for (int c = 40; c <= 64; ++c)
        symbols += QChar(c);
    return glyphStrip(t.statusFamily, t.statusPx, t.statusBold, t.statusCellW, t.statusCellH,
                      t.statusBaseline, {QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), symbols},
                      t.statusInk, t.statusPaper, QColor());
}

QImage digitFont(const Theme& t)
{
    return glyphStrip(t.digitFamily, t.digitPx, true, t.digitCellW, t.digitCellH,
                      t.digitBaseline, {QStringLiteral("0123456789")}, t.digitInk,
                      t.digitPaper, t.digitShadow);
}

QImage led(QColor c, bool lit, int size)
{
    return sprite(size, size, [&](QPainter& p) {
        const QPointF centre(size / 2.0, size / 2.0);
        if (lit) {
            QRadialGradient glow(centre, size / 2.0);
            QColor outer = c;
            outer.setAlpha(0);
            glow.setColorAt(0.55, c);
            glow.setColorAt(1, outer);
            p.setPen(Qt::NoPen);
            p.setBrush(glow);
            p.drawEllipse(centre, size / 2.0, size / 2.0);
        }
        QRadialGradient body(centre - QPointF(1.5, 1.5), size / 3.0);
        body.setColorAt(0, c.lighter(lit ? 160 : 120));
        body.setColorAt(1, c);
        p.setBrush(body);
        p.setPen(QPen(c.darker(140), 1));
        p.drawEllipse(centre, size / 3.2, size / 3.2);
    });
}

QImage envelope(QColor c, bool hot, int w, int h)
{
    return sprite(w, h, [&](QPainter& p) {
        const QRectF r(1.5, 2.5, w - 3 - (hot ? 3 : 0), h - 4);
        p.setPen(QPen(c, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(hot ? QColor(c.red(), c.green(), c.blue(), 60) : QColor(Qt::transparent));
        p.drawRoundedRect(r, 2.5, 2.5);
        QPainterPath flap;
        flap.moveTo(r.left() + 1, r.top() + 1);
        flap.lineTo(r.center().x(), r.top() + r.height() * 0.55);
        flap.lineTo(r.right() - 1, r.top() + 1);
        p.setBrush(Qt::NoBrush);
        p.drawPath(flap);
        if (hot) {
            p.setPen(QPen(QColor(255, 255, 255), 1.2));
            p.setBrush(QColor(255, 82, 82));
            p.drawEllipse(QPointF(w - 5.5, 5.5), 4.5, 4.5);
        }
    });
}

QImage trayIcon(const Theme& t, int state)
{
    QImage img = sprite(32, 32, [&](QPainter& p) {
        const QColor face = state == 0 ? QColor(120, 128, 140) : t.btnHotFace;
        QLinearGradient g(0, 2, 0, 30);
        g.setColorAt(0, face.lighter(125));
        g.setColorAt(1, face.darker(110));
        p.setBrush(g);
        p.setPen(QPen(face.darker(150), 1));
        p.drawRoundedRect(QRectF(2.5, 2.5, 27, 27), 8, 8);
        p.translate(-2, -2);
        p.scale(1.5, 1.5);
        QPen pen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(5.5, 7.5, 13, 9.5), 1.5, 1.5);
        QPainterPath flap;
        flap.moveTo(6, 8.5);
        flap.lineTo(12, 13);
        flap.lineTo(18, 8.5);
        p.drawPath(flap);
        p.resetTransform();
        if (state == 2) {
            p.setPen(QPen(Qt::white, 1.5));
            p.setBrush(QColor(255, 82, 82));
            p.drawEllipse(QPointF(25, 7), 6, 6);
        }
    });
    return img;
}

struct Place {
    int x, y;
};

struct Layout {
    QSize main, msg;
    Place connect, disconnect, mail, refresh, flag, online, nbmsg, status;
    int btn, maxchar;
    QRect memo;
    int msgBtn;
    Place prev, next, reply, del, close;
    int fontPt;
};

// Writes the skin definition; keys are kept inside their own sections and
// file names free of key words, since keys match anywhere in a line. Lines
// end in CR LF: the reader ends a line at CR only.
bool writeIni(const Theme& t, const Layout& l, const QString& dir)
{
    QString text;
    QTextStream s(&text);
    auto pos = [](Place p) { return QString("%1,%2").arg(p.x).arg(p.y); };
    s << "; " << t.name << " skin for Tolmu, painted by tools/skingen.\n"
      << "; Keys match as substrings from their section's header on: keep each key\n"
      << "; inside its own section and keep key words out of the file names.\n"
      << "[info]\n"
      << "skin_name = " << t.name << "\n"
      << "skin_author = " << t.author << "\n"
      << "skin_mail = \n"
      << "skin_web = \n"
      << "skin_info = " << t.info << "\n\n"
      << "[background]\nmain = back.bmp\nmsgbkng = msgback.bmp\n\n"
      << "[connect]\ncnxbtnnormal = cnx_off.bmp\ncnxbtnselect = cnx_on.bmp\nposition = "
      << pos(l.connect) << "\n\n"
      << "[disconnect]\ndisbtnnormal = dis_off.bmp\ndisbtnselect = dis_on.bmp\nposition = "
      << pos(l.disconnect) << "\n\n"
      << "[online]\nonlinebmp = led_on.bmp\nnotonlinebmp = led_off.bmp\nposition = "
      << pos(l.online) << "\n\n"
      << "[mailclient]\nrunmailnormal = client_off.bmp\nrunmailselect = client_on.bmp\n"
      << "position = " << pos(l.mail) << "\n\n"
      << "[readmsg]\nreadbtnnormal = read_off.bmp\nreadbtnselect = read_on.bmp\nposition = "
      << pos(l.refresh) << "\n\n"
      << "[youhavemail]\ngotmail = flag_up.bmp\nnomail = flag_down.bmp\nposition = "
      << pos(l.flag) << "\n\n"
      << "[nbmsg]\nnbmsgbmp = digits.bmp\nsize = " << t.digitCellW << "," << t.digitCellH
      << "\nposition = " << pos(l.nbmsg) << "\n\n"
      << "[status]\nfontbmp = letters.bmp\nsize = " << t.statusCellW << "," << t.statusCellH
      << "\nposition = " << pos(l.status) << "\nmaxchar = " << l.maxchar << "\n\n"
      << "[memo_msgwindow]\n"
      << "memo_x = " << l.memo.x() << "\nmemo_y = " << l.memo.y()
      << "\nmemo_width = " << l.memo.width() << "\nmemo_height = " << l.memo.height() << "\n"
      << "fontcolor = " << t.memoInk.red() << "," << t.memoInk.green() << ","
      << t.memoInk.blue() << "\n"
      << "fontname = DejaVu Sans\nfontstyle = none\nfontsize = " << l.fontPt << "\n"
      << "prevbtnnormal = prev_off.bmp\nprevbtnselect = prev_on.bmp\nprevbtnpos = "
      << pos(l.prev) << "\n"
      << "nextbtnnormal = next_off.bmp\nnextbtnselect = next_on.bmp\nnextbtnpos = "
      << pos(l.next) << "\n"
      << "replybtnnormal = reply_off.bmp\nreplybtnselect = reply_on.bmp\nreplybtnpos = "
      << pos(l.reply) << "\n"
      << "deletebtnnormal = del_off.bmp\ndeletebtnselect = del_on.bmp\ndeletebtnpos = "
      << pos(l.del) << "\n"
      << "closebtnnormal = close_off.bmp\nclosebtnselect = close_on.bmp\nclosebtnpos = "
      << pos(l.close) << "\n";
    s.flush();
    QFile file(dir + "/skin.ini");
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = text.replace("\n", "\r\n").toUtf8();
    return file.write(bytes) == bytes.size();
}

// Turns an anti-aliased window shape into a keyed background: covered pixels
// are blended over the rim colour, the rest is magenta.
QImage keyedWindow(const QImage& art, QColor rim)
{
    return keyOver(art, solid(art.size(), rim), QPoint(0, 0), 128);
}

bool writeSkin(const Theme& t, const Layout& l, const QImage& back, const QImage& msgBack,
               const QString& root)
{
    const QString dir = root + "/" + t.dir;
    QDir().mkpath(dir);
    bool ok = save(back, dir + "/back.bmp") && save(msgBack, dir + "/msgback.bmp");

    auto pair = [&](const char* stem, Icon icon, Place at, int size, const QImage& under) {
        ok = ok && save(keyOver(button(t, icon, false, size), under, {at.x, at.y}, 110),
                        dir + "/" + stem + "_off.bmp")
             && save(keyOver(button(t, icon, true, size), under, {at.x, at.y}, 110),
                     dir + "/" + stem + "_on.bmp");
    };
    pair("cnx", Icon::Play, l.connect, l.btn, back);
    pair("dis", Icon::Stop, l.disconnect, l.btn, back);
    pair("client", Icon::Mail, l.mail, l.btn, back);
    pair("read", Icon::Refresh, l.refresh, l.btn, back);
    pair("prev", Icon::Prev, l.prev, l.msgBtn, msgBack);
    pair("next", Icon::Next, l.next, l.msgBtn, msgBack);
    pair("reply", Icon::Reply, l.reply, l.msgBtn, msgBack);
    pair("del", Icon::Trash, l.del, l.msgBtn, msgBack);
    pair("close", Icon::Close, l.close, l.msgBtn, msgBack);

    ok = ok && save(keyOver(led(t.ledOn, true, 14), back, {l.online.x, l.online.y}, 90),
                    dir + "/led_on.bmp");
    ok = ok && save(keyOver(led(t.ledOff, false, 14), back, {l.online.x, l.online.y}, 90),
                    dir + "/led_off.bmp");
    ok = ok && save(keyOver(envelope(t.mailHot, true, 28, 20), back, {l.flag.x, l.flag.y}, 90),
                    dir + "/flag_up.bmp");
    ok = ok && save(keyOver(envelope(t.mailCold, false, 28, 20), back, {l.flag.x, l.flag.y}, 90),
                    dir + "/flag_down.bmp");
    ok = ok && save(statusFont(t), dir + "/letters.bmp") && save(digitFont(t), dir + "/digits.bmp");

    const char* trayNames[] = {"tray_offline.png", "tray_online.png", "tray_mail.png"};
    for (int i = 0; i < 3; ++i)
        ok = ok && trayIcon(t, i).save(dir + "/" + trayNames[i], "PNG");
    return ok && writeIni(t, l, dir);
}

// ---- the default skin: a dark capsule with a round count badge ----

bool midnight(const QString& root)
{
    Theme t;
    t.dir = "default";
    t.name = "Midnight";
    t.author = "The Tolmu developers";
    t.info = "Dark glass with a bright count badge. Painted with DejaVu fonts.";
    t.shape = ButtonShape::Circle;
    t.btnFace = QColor(0x34, 0x3d, 0x55);
    t.btnEdge = QColor(0x4b, 0x56, 0x74);
    t.btnIcon = QColor(0xa9, 0xbb, 0xd8);
    t.btnHotFace = QColor(0x1f, 0xa8, 0xe8);
    t.btnHotIcon = Qt::white;
    t.btnHotGlow = QColor(0x8a, 0xe1, 0xff);
    t.statusFamily = "DejaVu Sans";
    t.statusPx = 9;
    t.statusBold = true;
    t.statusCellW = 7;
    t.statusCellH = 11;
    t.statusBaseline = 9;
    t.statusInk = QColor(0xd4, 0xec, 0xff);
    t.statusPaper = QColor(0x12, 0x16, 0x21);
    t.digitFamily = "DejaVu Sans";
    t.digitPx = 24;
    t.digitCellW = 16;
    t.digitCellH = 26;
    t.digitBaseline = 22;
    t.digitInk = Qt::white;
    t.digitPaper = QColor(0x1b, 0x8f, 0xd6);
    t.digitShadow = QColor(0, 0x40, 0x80, 150);
    t.ledOn = QColor(0x3d, 0xdc, 0x84);
    t.ledOff = QColor(0x5a, 0x63, 0x7a);
    t.mailHot = QColor(0xff, 0xc1, 0x3d);
    t.mailCold = QColor(0x6f, 0x7b, 0x96);
    t.memoInk = QColor(0xdc, 0xe6, 0xf5);

    Layout l;
    l.main = QSize(268, 96);
    l.btn = 24;
    l.connect = {102, 52};
    l.refresh = {130, 52};
    l.disconnect = {158, 52};
    l.mail = {186, 52};
    l.flag = {218, 54};
    l.status = {104, 27};
    l.online = {240, 25};
    l.maxchar = 19;
    l.nbmsg = {39, 35};
    l.msg = QSize(300, 246);
    l.memo = QRect(22, 44, 256, 146);
    l.msgBtn = 28;
    l.prev = {20, 204};
    l.next = {52, 204};
    l.reply = {92, 204};
    l.del = {124, 204};
    l.close = {252, 204};
    l.fontPt = 9;

    const QColor rim(0x0e, 0x11, 0x19);
    QImage back = keyedWindow(sprite(l.main.width(), l.main.height(), [&](QPainter& p) {
        QPainterPath body;
        body.addRoundedRect(QRectF(40, 16, 226, 70), 20, 20);
        QPainterPath badge;
        badge.addEllipse(QRectF(2, 2, 92, 92));
        QPainterPath shape = body.united(badge);
        QLinearGradient g(0, 16, 0, 86);
        g.setColorAt(0, QColor(0x2e, 0x35, 0x4a));
        g.setColorAt(1, QColor(0x1a, 0x1f, 0x2d));
        p.setPen(QPen(rim, 1.5));
        p.setBrush(g);
        p.drawPath(shape);
        // top highlight line of the body
        p.setPen(QPen(QColor(0x55, 0x62, 0x82), 1));
        p.drawLine(QPointF(96, 18), QPointF(246, 18));
        // badge
        QRadialGradient bg(QPointF(36, 30), 60);
        bg.setColorAt(0, QColor(0x4c, 0xd3, 0xff));
        bg.setColorAt(1, QColor(0x11, 0x6e, 0xc2));
        p.setPen(QPen(QColor(0x0b, 0x3a, 0x66), 2));
        p.setBrush(bg);
        p.drawEllipse(QRectF(8, 8, 80, 80));
        p.setPen(QPen(QColor(255, 255, 255, 70), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(13, 13, 70, 70), 40 * 16, 100 * 16);
        // status panel
        p.setPen(QPen(QColor(0x0a, 0x0d, 0x14), 1));
        p.setBrush(t.statusPaper);
        p.drawRoundedRect(QRectF(98.5, 23.5, 160, 19), 6, 6);
    }), rim);

    QImage msg = keyedWindow(sprite(l.msg.width(), l.msg.height(), [&](QPainter& p) {
        QPainterPath shape;
        shape.addRoundedRect(QRectF(1, 1, 298, 244), 22, 22);
        QLinearGradient g(0, 0, 0, 246);
        g.setColorAt(0, QColor(0x2e, 0x35, 0x4a));
        g.setColorAt(1, QColor(0x1a, 0x1f, 0x2d));
        p.setPen(QPen(rim, 1.5));
        p.setBrush(g);
        p.drawPath(shape);
        // title strip with a small badge and the word Messages
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x1f, 0xa8, 0xe8));
        p.drawEllipse(QRectF(20, 13, 18, 18));
        QFont f("DejaVu Sans");
        f.setPixelSize(13);
        f.setBold(true);
        p.setFont(f);
        p.setPen(QColor(0xd4, 0xec, 0xff));
        p.drawText(QPointF(46, 27), "Messages");
        p.save();
        p.translate(20.5, 13.5);
        drawIcon(p, Icon::Mail, Qt::white, 0.75);
        p.restore();
        // text panel
        p.setPen(QPen(QColor(0x0a, 0x0d, 0x14), 1));
        p.setBrush(QColor(0x12, 0x16, 0x21));
        p.drawRoundedRect(QRectF(14.5, 38.5, 271, 158), 10, 10);
    }), rim);

    return writeSkin(t, l, back, msg, root);
}

// ---- the second skin: a light paper envelope with a coral accent ----

bool sunrise(const QString& root)
{
    Theme t;
    t.dir = "sunrise";
    t.name = "Sunrise";
    t.author = "The Tolmu developers";
    t.info = "A light paper envelope with a warm coral accent. Painted with DejaVu fonts.";
    t.shape = ButtonShape::RoundedSquare;
    t.btnFace = QColor(0xf3, 0xe6, 0xd3);
    t.btnEdge = QColor(0xd8, 0xc2, 0xa5);
    t.btnIcon = QColor(0x7a, 0x5b, 0x45);
    t.btnHotFace = QColor(0xff, 0x6b, 0x4a);
    t.btnHotIcon = Qt::white;
    t.btnHotGlow = QColor(0xd9, 0x48, 0x2b);
    t.statusFamily = "DejaVu Sans Mono";
    t.statusPx = 10;
    t.statusBold = true;
    t.statusCellW = 7;
    t.statusCellH = 12;
    t.statusBaseline = 10;
    t.statusInk = QColor(0x5a, 0x3d, 0x2b);
    t.statusPaper = QColor(0xfd, 0xf7, 0xec);
    t.digitFamily = "DejaVu Serif";
    t.digitPx = 30;
    t.digitCellW = 20;
    t.digitCellH = 32;
    t.digitBaseline = 27;
    t.digitInk = QColor(0xff, 0x6b, 0x4a);
    t.digitPaper = QColor(0xfd, 0xf7, 0xec);
    t.digitShadow = QColor();
    t.ledOn = QColor(0x2e, 0xbd, 0x6b);
    t.ledOff = QColor(0xc9, 0xb8, 0xa4);
    t.mailHot = QColor(0xff, 0x6b, 0x4a);
    t.mailCold = QColor(0xb8, 0xa2, 0x8a);
    t.memoInk = QColor(0x4a, 0x34, 0x26);

    Layout l;
    l.main = QSize(228, 132);
    l.btn = 26;
    l.connect = {22, 94};
    l.refresh = {54, 94};
    l.disconnect = {86, 94};
    l.mail = {118, 94};
    l.flag = {160, 97};
    l.online = {196, 100};
    l.status = {22, 38};
    l.maxchar = 26;
    l.nbmsg = {22, 54};
    l.msg = QSize(280, 270);
    l.memo = QRect(24, 62, 232, 148);
    l.msgBtn = 30;
    l.prev = {24, 222};
    l.next = {58, 222};
    l.reply = {100, 222};
    l.del = {134, 222};
    l.close = {226, 222};
    l.fontPt = 9;

    const QColor rim(0xc9, 0xb0, 0x8f);
    auto envelopeShape = [](QRectF r, qreal flap) {
        QPainterPath path;
        path.addRoundedRect(QRectF(r.left(), r.top() + flap, r.width(), r.height() - flap), 12, 12);
        QPainterPath roof;
        roof.moveTo(r.left() + 4, r.top() + flap + 10);
        roof.lineTo(r.center().x(), r.top());
        roof.lineTo(r.right() - 4, r.top() + flap + 10);
        roof.closeSubpath();
        return path.united(roof);
    };
    QImage back = keyedWindow(sprite(l.main.width(), l.main.height(), [&](QPainter& p) {
        const QPainterPath shape = envelopeShape(QRectF(2, 2, 224, 128), 26);
        QLinearGradient g(0, 0, 0, 132);
        g.setColorAt(0, QColor(0xff, 0xfb, 0xf3));
        g.setColorAt(1, QColor(0xf4, 0xe7, 0xd4));
        p.setPen(QPen(rim, 1.5));
        p.setBrush(g);
        p.drawPath(shape);
        // the flap's fold lines
        p.setPen(QPen(QColor(0xe6, 0xd3, 0xba), 1.2));
        p.drawLine(QPointF(8, 36), QPointF(114, 6));
        p.drawLine(QPointF(220, 36), QPointF(114, 6));
        // coral stamp line under the status
        p.setPen(QPen(QColor(0xff, 0x6b, 0x4a), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(22, 53), QPointF(60, 53));
        p.setPen(QPen(QColor(0xe6, 0xd3, 0xba), 1));
        p.drawLine(QPointF(62, 53), QPointF(206, 53));
        // paper behind the status and count
        p.setPen(Qt::NoPen);
        p.setBrush(t.statusPaper);
        p.drawRoundedRect(QRectF(18, 36, 192, 15), 4, 4);
        p.drawRoundedRect(QRectF(18, 55, 68, 34), 6, 6);
        // "new" label beside the count
        QFont f("DejaVu Sans");
        f.setPixelSize(10);
        p.setFont(f);
        p.setPen(QColor(0xa8, 0x8c, 0x70));
        p.drawText(QPointF(92, 80), "messages");
        p.setPen(QPen(QColor(0xe6, 0xd3, 0xba), 1));
        p.drawLine(QPointF(14, 126), QPointF(214, 126));
    }), rim);

    QImage msg = keyedWindow(sprite(l.msg.width(), l.msg.height(), [&](QPainter& p) {
        const QPainterPath shape = envelopeShape(QRectF(2, 2, 276, 266), 34);
        QLinearGradient g(0, 0, 0, 270);
        g.setColorAt(0, QColor(0xff, 0xfb, 0xf3));
        g.setColorAt(1, QColor(0xf4, 0xe7, 0xd4));
        p.setPen(QPen(rim, 1.5));
        p.setBrush(g);
        p.drawPath(shape);
        p.setPen(QPen(QColor(0xe6, 0xd3, 0xba), 1.2));
        p.drawLine(QPointF(8, 46), QPointF(140, 6));
        p.drawLine(QPointF(272, 46), QPointF(140, 6));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xff, 0x6b, 0x4a));
        p.drawEllipse(QPointF(140, 34), 9, 9);
        p.setPen(QPen(Qt::white, 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(140, 34), 4, 4);
        p.setPen(QPen(QColor(0xe3, 0xcf, 0xb4), 1));
        p.setBrush(QColor(0xfd, 0xf7, 0xec));
        p.drawRoundedRect(QRectF(16.5, 54.5, 247, 160), 8, 8);
    }), rim);

    return writeSkin(t, l, back, msg, root);
}

} // namespace

int main(int argc, char** argv)
{
    // Painting only: no display needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: tolmu_skingen OUTDIR\n", stderr);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    return midnight(root) && sunrise(root) ? 0 : 1;
}
