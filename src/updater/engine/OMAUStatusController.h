#pragma once
// OMAUStatusController: the progress window of an update: a heading, a
// progress bar with the status line under it, an action button (Cancel,
// then Install and Relaunch) and a cancel button shown when asked for.
// A maximum of 0 makes the bar indeterminate; setting the maximum starts
// the progress again at 0.
//
// Threads: main thread only.

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include <memory>
#include <string>

class OMAUHost;
class OMAUUpdater;

class OMAUStatusController {
public:
    using Action = void (OMAUUpdater::*)();

    explicit OMAUStatusController(std::shared_ptr<const OMAUHost> host);
    ~OMAUStatusController();
    OMAUStatusController(const OMAUStatusController&) = delete;
    OMAUStatusController& operator=(const OMAUStatusController&) = delete;

    QWidget* window() const { return window_.get(); }
    void showWindow();
    bool isWindowVisible() const { return window_->isVisible(); }
    void close() { window_->close(); }

    // Sets the title, then the maximum (which zeroes the progress), then the
    // status text.
    void beginAction(const std::string& title, double maxProgressValue,
                     const std::string& statusText);
    // The action button's title, its target and action, and whether it is
    // the default button (answering the Return key). The button is as wide
    // as its title and 15 points more, 14 points from the window's right.
    void setButtonTitle(const std::string& title, std::weak_ptr<OMAUUpdater> target, Action action,
                        bool isDefault);
    void setButtonEnabled(bool enabled) { actionButton_->setEnabled(enabled); }
    void setShowsCancelButton(bool shows);
    bool showsCancelButton() const { return showsCancelButton_; }

    double progressValue() const { return progressValue_; }
    void setProgressValue(double value);
    double maxProgressValue() const { return maxProgressValue_; }
    void setMaxProgressValue(double value);
    const std::string& statusText() const { return statusText_; }
    void setStatusText(const std::string& text);
    const std::string& title() const { return title_; }
    void setTitle(const std::string& title);
    const std::string& buttonTitle() const { return buttonTitle_; }
    // The window has no title of its own.
    std::string windowTitle() const { return {}; }

    // The cancel button's action: the action button's target cancels the
    // download.
    void performCancel();
    // The action button's action, as a click sends it.
    void performAction();

    QPushButton* actionButton() const { return actionButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QProgressBar* progressBar() const { return progressBar_; }

private:
    void showProgress();

    std::unique_ptr<QWidget> window_;
    QLabel* titleLabel_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QPushButton* actionButton_ = nullptr;

    std::string title_;
    std::string statusText_;
    std::string buttonTitle_;
    double progressValue_ = 0;
    double maxProgressValue_ = 0;
    bool showsCancelButton_ = false;
    std::weak_ptr<OMAUUpdater> target_;
    Action action_ = nullptr;
};
