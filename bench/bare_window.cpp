// SPDX-License-Identifier: GPL-3.0-or-later
// The yardstick of bench_gui: a bare frameless Qt window of the main
// window's size that prints "painted" at its first paint and ends.
#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

class Bare : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter(this).fillRect(rect(), QColor(20, 24, 40));
        if (!m_painted) {
            m_painted = true;
            std::puts("painted");
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, &QApplication::quit);
        }
    }

private:
    bool m_painted = false;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Bare window;
    window.setWindowFlags(Qt::FramelessWindowHint | Qt::Tool);
    window.setGeometry(50, 60, 340, 110);
    window.show();
    return app.exec();
}
