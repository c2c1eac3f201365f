// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/CreditsPane.h"

#include "config/PageParts.h"

using configpage::boldArial;
using configpage::label;
using configpage::pagePicture;

namespace {

const char* const Version = "v" TOLMU_VERSION;
const char* const LicenceWeb = "https://www.gnu.org/licenses/gpl-3.0.html";

} // namespace

TCreditsPane::TCreditsPane(QWidget* parent) : QWidget(parent)
{
    QWidget* p = this;
    auto* picture = new QLabel(p);
    QImage envelope = pagePicture(1).scaled(64, 48);
    envelope.setAlphaChannel(envelope.createMaskFromColor(qRgb(255, 0, 255), Qt::MaskOutColor));
    picture->setPixmap(QPixmap::fromImage(envelope));
    picture->setGeometry(8, 8, 64, 48);
    auto* title = new QLabel(QStringLiteral("Tolmu"), p);
    QFont big = boldArial();
    big.setPointSize(16);
    title->setFont(big);
    title->move(84, 10);
    label(p, QString::fromLatin1(Version), 84, 40)->setObjectName(QStringLiteral("Version"));

    auto* notice = new QLabel(QStringLiteral("Tolmu is free software: share and change it under the GNU General "
                                             "Public License, version 3 or any later version. It comes with no "
                                             "warranty of any kind."),
                              p);
    notice->setWordWrap(true);
    notice->setGeometry(8, 66, 304, 64);

    label(p, QStringLiteral("Written by the Tolmu developers."), 8, 140);
    auto* thanks = new QLabel(QStringLiteral("Thanks to everyone who painted skins, tried early versions "
                                             "and told us what went wrong."),
                              p);
    thanks->setWordWrap(true);
    thanks->setGeometry(8, 168, 304, 36);
    WebCredit = new TLinkLabel(p);
    WebCredit->setText(QStringLiteral("The licence: GNU GPL, version 3 or later"));
    WebCredit->setToolTip(QString::fromLatin1(LicenceWeb));
    WebCredit->setGeometry(8, 210, 300, 18);
}
