#pragma once
// OMAUPresenter: how the engine asks the user: modal alert panels, the
// automatic-update window, a beep and a request for attention. The
// application's presenter shows Qt windows (OMAUPanelPresenter); tests
// script the answers.
//
// Threads: main thread only.

#include <string>

class OMAUAppcastItem;

class OMAUPresenter {
public:
    // The answers of runAlertPanel.
    enum { kAlertDefaultReturn = 1, kAlertAlternateReturn = 0, kAlertOtherReturn = -1 };

    virtual ~OMAUPresenter() = default;
    // Shows a modal panel with up to three buttons (an empty title: no such
    // button) and answers which was chosen.
    virtual int runAlertPanel(const std::string& title, const std::string& message,
                              const std::string& defaultButton, const std::string& alternateButton,
                              const std::string& otherButton) = 0;
    // The window offered after an automatic installation, run modally;
    // true when the user chose to relaunch now.
    virtual bool runAutomaticUpdateAlert(const OMAUAppcastItem& item) = 0;
    virtual void beep() = 0;
    // Asks for the user's attention once (an informational request).
    virtual void requestUserAttention() = 0;
};
