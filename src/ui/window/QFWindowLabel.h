#pragma once
// QFWindowLabel: the window's title in the title bar. A title that is the
// product's own name (in any letter case), empty or missing shows the
// logotype instead of text; any other title shows as etched text.
//
// Threads: main thread only.

#include "kit/gui/OMAppKitView.h"
#include "kit/gui/OMAttributedString.h"

#include <QWidget>

#include <optional>

class QFWindowLabel : public QWidget, public OMAppKitView {
    Q_OBJECT

public:
    explicit QFWindowLabel(QWidget* parent = nullptr);

    // Empty while the logotype shows.
    QString text() const { return text_.text; }
    // nullopt counts as empty.
    void setText(const std::optional<QString>& text);
    bool textRepresentsLogotype() const { return textRepresentsLogotype_; }

    // Whether `text` names the product, so the logotype stands for it.
    static bool isProductName(const QString& text);

    // Text width + 2 by the title-bar height.
    QSizeF intrinsicContentSize() const;
    QSize sizeHint() const override;

    bool needsDisplayForChangedWindowAppearance() override { return true; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    OMAttributedString text_;
    QSizeF textSize_{0, 0};
    bool textRepresentsLogotype_ = true;
};
