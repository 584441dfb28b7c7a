#include "form/CustomTabStyle.h"

#include <QPainter>

CustomTabStyle::CustomTabStyle() : QProxyStyle() {}

void CustomTabStyle::drawItemText(QPainter *painter, const QRect &rect, int flags, const QPalette &pal,
                                  bool enabled, const QString &text, QPalette::ColorRole textRole) const
{
    Q_UNUSED(flags)
    painter->save();
    painter->translate(10.0, 0.0);
    // QStyle's own implementation, not the proxied style's: that one would bring back
    // the platform's centring rules.
    QStyle::drawItemText(painter, rect, Qt::AlignLeft | Qt::AlignVCenter, pal, enabled, text, textRole);
    painter->restore();
}
