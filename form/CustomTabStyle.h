#pragma once

#include <QProxyStyle>

// The tab bar style of the tuning screen: tab labels start 10 px in from the left of
// their tab and are centred vertically, whatever alignment the tab bar asks for (the
// platform styles centre them). Everything else is the application's style.
class CustomTabStyle : public QProxyStyle
{
public:
    CustomTabStyle();

    void drawItemText(QPainter *painter, const QRect &rect, int flags, const QPalette &pal, bool enabled,
                      const QString &text, QPalette::ColorRole textRole = QPalette::NoRole) const override;
};
