// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A label that acts as a link: hand cursor, underlined, a click calls OnClick.
#include <QLabel>

#include <functional>

class TLinkLabel : public QLabel {
public:
    explicit TLinkLabel(QWidget* parent);
    std::function<void()> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
