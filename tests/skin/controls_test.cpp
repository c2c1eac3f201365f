// SPDX-License-Identifier: GPL-3.0-or-later
// The image button's sizes and looks, and the transparent memo, driven by
// synthetic mouse and key events under the offscreen platform.
#include "skin/ImgBtn.h"
#include "skin/TrMemo.h"
#include "tests/skin/QtTestApp.h"

#include <QPainter>
#include <QScrollBar>
#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QRgb OffColour = qRgb(10, 200, 10);
const QRgb OnColour = qRgb(200, 10, 10);
const QRgb Ground = qRgb(90, 90, 90);

QImage solidPicture(int w, int h, QRgb c)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

// A parent painting a plain window bitmap, shown offscreen.
class Surface : public QWidget {
public:
    Surface()
    {
        resize(200, 120);
        move(0, 0);
    }
    QImage ground;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        if (ground.isNull())
            p.fillRect(rect(), QColor(Ground));
        else
            p.drawImage(0, 0, ground);
    }
};

void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

QImage look(TImgBtn& button) { return button.grab().toImage(); }

} // namespace

class ImgBtnTest : public testing::Test {
protected:
    void SetUp() override
    {
        surface.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&surface));
        // Away from the button (two moves: a move to the cursor's last place is dropped).
        QTest::mouseMove(&surface, QPoint(6, 6));
        QTest::mouseMove(&surface, QPoint(5, 5));
        settle();
        button = new TImgBtn(&surface);
        button->move(40, 30);
        button->show();
        button->OnMouseEnter = [this](TImgBtn&) { events += "enter "; };
        button->OnMouseLeave = [this](TImgBtn&) { events += "leave "; };
        button->OnClick = [this](TImgBtn&) { events += "click "; };
        settle();
        ASSERT_FALSE(button->Hovered());
    }

    // Press and release go to the button itself, as Qt delivers them.
    void press() { QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5)); settle(); }
    void release(QPoint at) { QTest::mouseRelease(button, Qt::LeftButton, {}, at); settle(); }
    // A move while the left button is held: Qt sends it to the pressed widget
    // wherever the mouse is.
    void dragTo(QPoint at)
    {
        QMouseEvent move(QEvent::MouseMove, at, button->mapToGlobal(at), Qt::NoButton,
                         Qt::LeftButton, {});
        QApplication::sendEvent(button, &move);
        settle();
    }

    void enter() { QTest::mouseMove(&surface, QPoint(45, 35)); settle(); }
    void leave() { QTest::mouseMove(&surface, QPoint(190, 110)); settle(); }

    QApplication& app = qtTestApp(); // before any widget
    Surface surface;
    TImgBtn* button = nullptr;
    std::string events;
};

TEST_F(ImgBtnTest, StartsAt20x20AndKeepsItWithoutPicOff)
{
    EXPECT_EQ(button->size(), QSize(20, 20));
    button->SetPicOn(solidPicture(33, 27, OnColour));
    enter();
    EXPECT_EQ(button->size(), QSize(20, 20));
}

TEST_F(ImgBtnTest, AutosizeFollowsTheShownPicture)
{
    button->SetPicOff(solidPicture(31, 25, OffColour));
    button->SetPicOn(solidPicture(33, 27, OnColour));
    EXPECT_EQ(button->size(), QSize(31, 25));
    EXPECT_EQ(look(*button).pixel(0, 0), OffColour);
    enter();
    EXPECT_TRUE(button->Hovered());
    EXPECT_EQ(button->size(), QSize(33, 27));
    EXPECT_EQ(look(*button).pixel(0, 0), OnColour);
    leave();
    EXPECT_EQ(button->size(), QSize(31, 25));
    EXPECT_EQ(events, "enter leave ");
}

TEST_F(ImgBtnTest, HoveredWithoutPicOnShowsPicOff)
{
    button->SetPicOff(solidPicture(31, 25, OffColour));
    enter();
    EXPECT_TRUE(button->Hovered());
    EXPECT_EQ(button->size(), QSize(31, 25));
    EXPECT_EQ(look(*button).pixel(15, 12), OffColour);
}

TEST_F(ImgBtnTest, MagentaOfThePictureShowsTheParent)
{
    QImage pic = solidPicture(31, 25, OffColour);
    pic.setPixel(3, 3, qRgb(255, 0, 255));
    button->SetPicOff(pic);
    settle();
    const QImage shot = surface.grab().toImage();
    EXPECT_EQ(shot.pixel(43, 33), Ground);
    EXPECT_EQ(shot.pixel(44, 33), OffColour);
}

TEST_F(ImgBtnTest, ClickOnlyWhenReleasedOverTheButton)
{
    button->SetPicOff(solidPicture(31, 25, OffColour));
    enter();
    press();
    EXPECT_TRUE(button->Pressed());
    release(QPoint(6, 6));
    EXPECT_FALSE(button->Pressed());
    EXPECT_EQ(events, "enter click ");
}

TEST_F(ImgBtnTest, DoubleClickClicksOnce)
{
    // Qt delivers press, release, double click, release: one click, so a
    // double click on Connect logs in once.
    button->SetPicOff(solidPicture(31, 25, OffColour));
    int downs = 0;
    button->OnMouseDown = [&](TImgBtn&, const QMouseEvent&) { ++downs; };
    enter();
    press();
    release(QPoint(5, 5));
    QMouseEvent second(QEvent::MouseButtonDblClick, QPointF(5, 5), button->mapToGlobal(QPointF(5, 5)),
                       Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &second);
    release(QPoint(5, 5));
    EXPECT_EQ(events, "enter click ");
    EXPECT_EQ(downs, 2) << "the second press still reaches OnMouseDown";
}

TEST_F(ImgBtnTest, FramedLooksAndLeavingWhileHeld)
{
    button->SetFrame(true);
    button->SetFrameColor(QColor(0, 0, 255));
    button->SetPicOff(solidPicture(31, 25, OffColour));
    EXPECT_EQ(button->size(), QSize(33, 27));
    const QPalette pal = button->palette();
    const QRgb light = pal.color(QPalette::Light).rgb();
    const QRgb dark = pal.color(QPalette::Dark).rgb();

    // Normal: no frame; the picture starts at x = (33 - 31) / 2 + 1, y = 1.
    QImage shot = look(*button);
    EXPECT_EQ(shot.pixel(2, 1), OffColour);
    EXPECT_NE(shot.pixel(1, 1), OffColour);

    enter(); // hovered: raised frame
    shot = look(*button);
    EXPECT_EQ(shot.pixel(0, 0), light);
    EXPECT_EQ(shot.pixel(32, 26), dark);
    EXPECT_EQ(shot.pixel(1, 1), qRgb(0, 0, 255));
    EXPECT_EQ(shot.pixel(2, 1), OffColour);

    press(); // pressed: sunken
    shot = look(*button);
    EXPECT_EQ(shot.pixel(0, 0), dark);
    EXPECT_EQ(shot.pixel(32, 26), light);

    // Out with the button still held: back to normal, no click.
    dragTo(QPoint(110, 70));
    EXPECT_FALSE(button->Hovered());
    EXPECT_FALSE(button->Pressed());
    shot = look(*button);
    EXPECT_EQ(shot.pixel(2, 1), OffColour);
    EXPECT_NE(shot.pixel(0, 0), light);
    EXPECT_NE(shot.pixel(0, 0), dark);
    release(QPoint(110, 70));
    EXPECT_EQ(events, "enter leave ");
}

TEST_F(ImgBtnTest, FramedCheckedCaption)
{
    button->SetFrame(true);
    button->SetCheckButton(true);
    button->SetCheckColor(QColor(255, 255, 0));
    button->SetFrameColor(QColor(0, 0, 255));
    button->SetCaption("Options");
    button->SetPicOff(solidPicture(20, 16, OffColour));
    const QFontMetrics fm(button->font());
    EXPECT_EQ(button->size(), QSize(20 + 2 + fm.horizontalAdvance("Options") + 20,
                                    16 + 2 + fm.height() + 20));
    enter();
    button->SetChecked(true);
    settle();
    const QImage shot = look(*button);
    const int px = (button->width() - 20) / 2 + 1;
    EXPECT_EQ(shot.pixel(px, 8), OffColour) << "picture 8 pixels from the top";
    EXPECT_EQ(shot.pixel(px, 7), qRgb(0, 0, 255));
    const int captionTop = button->height() - fm.height() - 5;
    const int captionLeft = (button->width() - fm.horizontalAdvance("Options")) / 2;
    int yellow = 0;
    for (int y = captionTop; y < captionTop + fm.height(); ++y)
        for (int x = captionLeft; x < captionLeft + fm.horizontalAdvance("Options"); ++x)
            yellow += shot.pixel(x, y) == qRgb(255, 255, 0);
    EXPECT_GT(yellow, fm.height() * fm.horizontalAdvance("Options") / 3);
    // Unchecked: the caption stands on the frame colour.
    button->SetChecked(false);
    EXPECT_NE(look(*button).pixel(captionLeft, captionTop), qRgb(255, 255, 0));
}

class MemoTest : public testing::Test {
protected:
    void SetUp() override { qtTestApp(); }

    static QImage groundPicture()
    {
        QImage img(200, 120, QImage::Format_RGB32);
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                img.setPixel(x, y, qRgb(x, y * 2, 128));
        return img;
    }

    // A surface with the picture and a memo, shown; the caret is hidden so
    // that two grabs can be compared by pixels.
    static void build(Surface& s, TTransparentMemo*& memo)
    {
        s.ground = groundPicture();
        memo = new TTransparentMemo(&s);
        memo->setGeometry(20, 15, 160, 90);
        memo->SetFontColor(QColor(255, 255, 255));
        memo->setCursorWidth(0);
        s.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&s));
        memo->setFocus();
        settle();
    }
};

TEST_F(MemoTest, TypingLeavesNoTraceOfEarlierText)
{
    Surface typed;
    TTransparentMemo* memo = nullptr;
    build(typed, memo);
    QTest::keyClicks(memo, "Hello, world");
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClicks(memo, "second line");
    settle();
    for (int i = 0; i < 24; ++i)
        QTest::keyClick(memo, Qt::Key_Backspace);
    QTest::keyClicks(memo, "Bye");
    settle();
    ASSERT_EQ(memo->toPlainText(), "Bye");
    const QImage after = typed.grab().toImage();
    typed.hide();

    Surface fresh;
    TTransparentMemo* clean = nullptr;
    build(fresh, clean);
    clean->setPlainText("Bye");
    clean->moveCursor(QTextCursor::End);
    settle();
    const QImage expected = fresh.grab().toImage();
    EXPECT_EQ(after, expected);
    // The memo shows the picture itself around its text, and some text.
    const QImage ground = groundPicture();
    int same = 0, white = 0;
    for (int y = 15; y < 105; ++y)
        for (int x = 20; x < 180; ++x) {
            same += expected.pixel(x, y) == ground.pixel(x, y);
            white += expected.pixel(x, y) == qRgb(255, 255, 255);
        }
    EXPECT_GT(same, 160 * 90 * 9 / 10);
    EXPECT_GT(white, 5);
}

TEST_F(MemoTest, NewTextReplacesOldTextCleanly)
{
    Surface s;
    TTransparentMemo* memo = nullptr;
    build(s, memo);
    memo->setPlainText("From : someone@example.org\nSubj : a long subject line\nDate : today");
    settle();
    memo->setPlainText("no more messages...");
    settle();
    const QImage after = s.grab().toImage();

    Surface fresh;
    TTransparentMemo* clean = nullptr;
    build(fresh, clean);
    clean->setPlainText("no more messages...");
    settle();
    EXPECT_EQ(after, fresh.grab().toImage());
}

TEST_F(MemoTest, SelectionCollapsesWhenTheButtonIsReleased)
{
    Surface s;
    TTransparentMemo* memo = nullptr;
    build(s, memo);
    memo->setPlainText("select some of this text");
    settle();
    QWidget* vp = memo->viewport();
    QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(3, 8));
    QTest::mouseMove(vp, QPoint(100, 8));
    EXPECT_TRUE(memo->textCursor().hasSelection());
    QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(100, 8));
    settle();
    EXPECT_FALSE(memo->textCursor().hasSelection());
}

TEST_F(MemoTest, ScrollingLeavesNoTrace)
{
    QString text;
    for (int i = 0; i < 40; ++i)
        text += QString("line %1\n").arg(i);
    Surface s;
    TTransparentMemo* memo = nullptr;
    build(s, memo);
    memo->setPlainText(text);
    settle();
    for (int i = 0; i < 6; ++i) {
        memo->verticalScrollBar()->setValue(memo->verticalScrollBar()->value() + 3);
        settle();
    }
    const int at = memo->verticalScrollBar()->value();
    ASSERT_GT(at, 0);
    const QImage after = s.grab().toImage();

    Surface fresh;
    TTransparentMemo* clean = nullptr;
    build(fresh, clean);
    clean->setPlainText(text);
    settle();
    clean->verticalScrollBar()->setValue(at);
    settle();
    EXPECT_EQ(after, fresh.grab().toImage());
}
