#pragma once
// The window of the boolean-operation debugger, built in code: the canvas
// above a row of buttons (next step, next operation, debug, and the two
// sheets for typing points and segments), and the two sheets. It only
// holds the widgets and reports closing and key presses; QFBooleanDebugger
// gives the buttons their actions. It opens in the middle of the screen's
// available area.
//
// Threads: main thread only.

#include "debugger/QFBooleanCanvas.h"

#include <QButtonGroup>
#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

#include <functional>

class QFBooleanDebuggerWindow : public QWidget {
public:
    QFBooleanDebuggerWindow();

    QFBooleanCanvas* canvas;
    QPushButton* nextStepButton;
    QPushButton* nextOperationButton;
    QPushButton* debugButton;
    QPushButton* addPointsButton;
    QPushButton* addSegmentsButton;

    // The sheet for points, one a line.
    QDialog* addPointsWindow;
    QPlainTextEdit* pointsTextView;
    QPushButton* addPointsConfirmButton;
    QPushButton* addPointsCancelButton;

    // The sheet for segments, one a line, in the format chosen in the
    // matrix: id 0 the arrow format, id 1 the plain one.
    QDialog* addSegmentsWindow;
    QPlainTextEdit* segmentsTextView;
    QButtonGroup* segmentFormatMatrix;
    QPushButton* addSegmentsConfirmButton;
    QPushButton* addSegmentsCancelButton;

    // Called when the window is about to close, and for every key press
    // that no button took.
    std::function<void()> windowWillClose;
    std::function<void(const QKeyEvent&)> keyDown;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
