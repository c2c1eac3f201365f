// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the configuration dialog's pages share: labels and fields placed at
// the dialog's own coordinates, the bold font of the skin texts, and the
// pictures of the page buttons.
#include <QFont>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QString>

#include <string>

namespace configpage {

inline QString q(const std::string& s) { return QString::fromStdString(s); }

// A label with text at (x, y) on parent; Alt+its letter focuses buddy.
QLabel* label(QWidget* parent, const QString& text, int x, int y, QWidget* buddy = nullptr);
// A one-line field of width w at (x, y) on parent.
QLineEdit* edit(QWidget* parent, int x, int y, int w);
QFont boldArial();
// The picture of page button page (0 Options, 1 Accounts, 2 Skin Info,
// 3 Credits), drawn here so the dialog needs no files: a little sketch of
// the page on the skins' transparent magenta.
QImage pagePicture(int page);

} // namespace configpage
