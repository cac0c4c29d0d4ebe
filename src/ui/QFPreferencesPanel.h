#pragma once
// QFPreferencesPanel: the application's settings: one check box that shows
// the tray item, bound to the inverse of the user default
// QFDisableMenuBarPSHelper both ways (the box follows the default, and
// clicking it sets the default).
//
// Threads: main thread only.

#include "platform/Observation.h"

#include <QWidget>

class QCheckBox;

class QFPreferencesPanel : public QWidget {
    Q_OBJECT

public:
    explicit QFPreferencesPanel(QWidget* parent = nullptr);

    QCheckBox* showPhotoshopIntegrationCheckbox() const { return checkbox_; }
    // Centres the panel on the screen it is on.
    void center();

private:
    void updateCheckbox();

    QCheckBox* checkbox_;
    lf::Observation binding_;
};
