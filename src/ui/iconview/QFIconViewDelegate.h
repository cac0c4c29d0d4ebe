#pragma once
// QFIconViewDelegate: what the icon view asks of its owner about an item:
// the file that stands for it when it is dragged out or copied, and the
// file its preview shows. Either may be missing (none), and the item then
// cannot be dragged or previewed.
//
// Threads: main thread only.

#include "ui/layers/QFIconViewItem.h"

#include <QUrl>

#include <optional>

class QFIconView;

class QFIconViewDelegate {
public:
    virtual ~QFIconViewDelegate() = default;
    // A file URL to put on the pasteboard for `item`.
    virtual std::optional<QUrl> pasteboardWriterForItem(QFIconView& view, QFIconViewItem& item) = 0;
    // A file URL that the preview shows for `item`.
    virtual std::optional<QUrl> fileURLForItem(QFIconView& view, QFIconViewItem& item) = 0;
};
