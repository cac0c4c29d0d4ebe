#pragma once
// OMAttributedString: text with the attributes the kit draws it with: the
// font and Qt's layout flags (alignment, wrapping). Its colour and shadow
// come from whoever draws it.

#include <QFont>
#include <QString>

struct OMAttributedString {
    QString text;
    QFont font;
    // From the top left, wrapped at the rectangle's width.
    int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
};
