#pragma once
// QFPreferencesPanel: the application's settings: one check box that shows
// the tray item, bound to the inverse of the user default
// QFDisableMenuBarPSHelper both ways (the box follows the default, and
// clicking it sets the default).
//
// The panel wears the chrome of the flow windows (QFWindow): the textured
// title bar with its title and the close button; a panel neither
// miniaturises nor zooms, so those buttons stay disabled. Escape and Close
// Window (Ctrl+W) close it, as the close button does.
//
// Threads: main thread only.

#include "platform/core/Observation.h"
#include "ui/window/QFWindow.h"

class QCheckBox;
class QFWindowLabel;

class QFPreferencesPanel : public QFWindow {
    Q_OBJECT

public:
    explicit QFPreferencesPanel(QWidget* parent = nullptr);

    QCheckBox* showPhotoshopIntegrationCheckbox() const { return checkbox_; }
    QFWindowLabel* titleLabel() const { return titleLabel_; }
    // Centres the panel on the screen it is on.
    void center();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void updateCheckbox();

    QFWindowLabel* titleLabel_;
    QCheckBox* checkbox_;
    lf::Observation binding_;
};
