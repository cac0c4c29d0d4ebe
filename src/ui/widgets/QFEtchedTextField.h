#pragma once
// QFEtchedTextField: a label of the placeholder view, drawn etched into the
// window background with the placeholder text effect; centred, and wrapped
// when asked.
//
// Threads: main thread only.

#include "kit/gui/OMAppKitView.h"
#include "kit/gui/OMAttributedString.h"

#include <QWidget>

class QFEtchedTextField : public QWidget, public OMAppKitView {
    Q_OBJECT

public:
    explicit QFEtchedTextField(QWidget* parent = nullptr);

    QString stringValue() const { return text_.text; }
    void setStringValue(const QString& text);
    void setFont(const QFont& font);
    // Lines break at the width given to cellSizeForBounds.
    void setWraps(bool wraps);

    // The size the text takes within `bounds` (its width limits it).
    QSizeF cellSizeForBounds(const QRectF& bounds) const;

    bool needsDisplayForChangedWindowAppearance() override { return true; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    OMAttributedString text_;
};
