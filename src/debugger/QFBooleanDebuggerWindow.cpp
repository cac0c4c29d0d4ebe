#include "debugger/QFBooleanDebuggerWindow.h"

#include "kit/gui/OMWindowPlacement.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

// Buttons take no keyboard focus, so Return reaches the window's key
// handling whatever was clicked last.
QPushButton* button(const char* title, QWidget* parent) {
    auto* button = new QPushButton(QObject::tr(title), parent);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QDialog* sheet(QWidget* parent, QPlainTextEdit*& textView) {
    auto* dialog = new QDialog(parent);
    textView = new QPlainTextEdit(dialog);
    textView->setMinimumSize(360, 160);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(textView);
    return dialog;
}

void addSheetButtons(QDialog* dialog, QPushButton*& confirm, QPushButton*& cancel) {
    auto* row = new QHBoxLayout;
    row->addStretch();
    cancel = new QPushButton(QObject::tr("Cancel"), dialog);
    confirm = new QPushButton(QObject::tr("Add"), dialog);
    confirm->setDefault(true);
    row->addWidget(cancel);
    row->addWidget(confirm);
    static_cast<QVBoxLayout*>(dialog->layout())->addLayout(row);
}

}  // namespace

QFBooleanDebuggerWindow::QFBooleanDebuggerWindow() {
    setWindowTitle(tr("Boolean Debugger"));
    resize(800, 600);

    canvas = new QFBooleanCanvas(this);
    nextStepButton = button("Next Step", this);
    nextOperationButton = button("Next Operation", this);
    debugButton = button("Debug", this);
    addPointsButton = button("Add Points…", this);
    addSegmentsButton = button("Add Segments…", this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(addPointsButton);
    buttons->addWidget(addSegmentsButton);
    buttons->addStretch();
    buttons->addWidget(debugButton);
    buttons->addWidget(nextOperationButton);
    buttons->addWidget(nextStepButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(canvas, 1);
    layout->addLayout(buttons);

    addPointsWindow = sheet(this, pointsTextView);
    addSheetButtons(addPointsWindow, addPointsConfirmButton, addPointsCancelButton);

    addSegmentsWindow = sheet(this, segmentsTextView);
    segmentFormatMatrix = new QButtonGroup(addSegmentsWindow);
    auto* arrowFormat =
        new QRadioButton(tr("start -> end / cp1: control 1, cp2: control 2"), addSegmentsWindow);
    auto* plainFormat = new QRadioButton(tr("start, end, control 1, control 2"), addSegmentsWindow);
    arrowFormat->setChecked(true);
    segmentFormatMatrix->addButton(arrowFormat, 0);
    segmentFormatMatrix->addButton(plainFormat, 1);
    auto* sheetLayout = static_cast<QVBoxLayout*>(addSegmentsWindow->layout());
    sheetLayout->insertWidget(0, plainFormat);
    sheetLayout->insertWidget(0, arrowFormat);
    addSheetButtons(addSegmentsWindow, addSegmentsConfirmButton, addSegmentsCancelButton);

    // In the middle of the screen's available area, and no larger: placed
    // by the window system, its row of buttons may open at the screen's
    // bottom edge, or under a panel there.
    if (const QScreen* screen = this->screen())
        OMPlaceWindowInsideAvailableArea(*this, screen->availableGeometry().center());
}

void QFBooleanDebuggerWindow::closeEvent(QCloseEvent* event) {
    if (windowWillClose) windowWillClose();
    QWidget::closeEvent(event);
}

void QFBooleanDebuggerWindow::keyPressEvent(QKeyEvent* event) {
    if (keyDown) keyDown(*event);
    QWidget::keyPressEvent(event);
}
