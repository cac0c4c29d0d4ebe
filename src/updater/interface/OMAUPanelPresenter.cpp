#include "updater/interface/OMAUPanelPresenter.h"

#include "updater/interface/OMAUAutomaticUpdateAlert.h"
#include "updater/interface/OMAUFeedLinks.h"
#include "updater/shared/OMAUHost.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

int OMAUPanelPresenter::runAlertPanel(const std::string& title, const std::string& message,
                                      const std::string& defaultButton,
                                      const std::string& alternateButton,
                                      const std::string& otherButton) {
    QMessageBox box;
    box.setIcon(QMessageBox::Information);
    box.setText(QString::fromStdString(title));
    box.setInformativeText(QString::fromStdString(message));
    // The texts may come from the feed, shown as rich text where they look
    // like it: the box's labels would open any link themselves.
    for (QLabel* label : box.findChildren<QLabel*>())
        OMAURouteLabelLinks(label);
    QPushButton* defaultChoice =
        box.addButton(QString::fromStdString(defaultButton), QMessageBox::AcceptRole);
    box.setDefaultButton(defaultChoice);
    QPushButton* alternateChoice =
        alternateButton.empty()
            ? nullptr
            : box.addButton(QString::fromStdString(alternateButton), QMessageBox::RejectRole);
    if (!otherButton.empty())
        box.addButton(QString::fromStdString(otherButton), QMessageBox::ActionRole);
    box.exec();
    if (box.clickedButton() == defaultChoice) return kAlertDefaultReturn;
    if (alternateChoice && box.clickedButton() == alternateChoice) return kAlertAlternateReturn;
    return otherButton.empty() ? kAlertAlternateReturn : kAlertOtherReturn;
}

bool OMAUPanelPresenter::runAutomaticUpdateAlert(const OMAUAppcastItem& item) {
    OMAUAutomaticUpdateAlert alert(item, host_);
    return alert.runModal() == 1;
}

void OMAUPanelPresenter::beep() {
    QApplication::beep();
}

void OMAUPanelPresenter::requestUserAttention() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible()) QApplication::alert(window);
}
