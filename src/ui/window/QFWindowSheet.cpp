#include "ui/window/QFWindowSheet.h"

#include <QChildEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QWindow>

namespace {

constexpr const char* kEdgeName = "QFWindowSheetEdge";
// The border, and the title bar's shadow from dark at the top to nothing.
const QColor kBorderColor(0, 0, 0, 110);
const QColor kShadowColor(0, 0, 0, 80);
constexpr int kShadowDepth = 8;

// Drawn over the whole sheet, above its contents, taking no input: the
// sheet's children do not reach into its margins, where the edge lies.
class SheetEdge final : public QWidget {
public:
    explicit SheetEdge(QDialog& sheet) : QWidget(&sheet) {
        setObjectName(kEdgeName);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        setGeometry(sheet.rect());
        sheet.installEventFilter(this);
        show();
        raise();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == parent()) {
            if (event->type() == QEvent::Resize) setGeometry(parentWidget()->rect());
            // Views added later would lie above the edge.
            if (event->type() == QEvent::ChildAdded &&
                static_cast<QChildEvent*>(event)->child() != this)
                raise();
        }
        return QWidget::eventFilter(watched, event);
    }

    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QLinearGradient shadow(0, 0, 0, kShadowDepth);
        shadow.setColorAt(0, kShadowColor);
        shadow.setColorAt(1, Qt::transparent);
        painter.fillRect(QRect(0, 0, width(), kShadowDepth), shadow);
        painter.setPen(kBorderColor);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

}  // namespace

bool QFWindowIsSheet(const QObject* object) {
    const auto* dialog = qobject_cast<const QDialog*>(object);
    return dialog && dialog->windowModality() == Qt::WindowModal;
}

bool QFWindowHasAttachedSheet(const QWidget* window) {
    if (!window) return false;
    for (const QObject* child : window->children()) {
        if (QFWindowIsSheet(child) && static_cast<const QWidget*>(child)->isVisible()) return true;
    }
    return false;
}

void QFWindowMakeSheetFrameless(QDialog& sheet) {
    const Qt::WindowFlags flags = sheet.windowFlags() | Qt::FramelessWindowHint;
    if (flags != sheet.windowFlags()) {
        // Not through setWindowFlags, which would hide a sheet that is
        // showing: the widget and its window (when it has one yet) learn
        // the flag each, before the window is mapped.
        sheet.overrideWindowFlags(flags);
        if (QWindow* window = sheet.windowHandle()) window->setFlags(flags);
    }
    if (!sheet.findChild<QWidget*>(kEdgeName, Qt::FindDirectChildrenOnly)) new SheetEdge(sheet);
}
