// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Credits page of the configuration dialog: the program's name and
// version, its licence and the thanks; a link leads to the licence.
#include "config/LinkLabel.h"

#include <QWidget>

class TCreditsPane : public QWidget {
public:
    explicit TCreditsPane(QWidget* parent);

    // The link to the licence, whose address is its hint.
    TLinkLabel* WebCredit = nullptr;
};
