#pragma once
// A run controller that records its hooks, in a window that records why it
// closed its controllers.

#include "flows/QFFlowRunController.h"
#include "platform/core/Error.h"

#include <optional>
#include <string>
#include <vector>

class RecordingController : public QFFlowRunController {
public:
    using QFFlowRunController::QFFlowRunController;
    void didRunFlowForInitialInputWithResult(bool success,
                                             const std::optional<lf::Error>& error) override {
        results.push_back(success ? "initial ok" : "initial failed");
        errors.push_back(error);
    }
    void willRunFlowForChangedInput() override { results.push_back("will rerun"); }
    void didRunFlowForChangedInputWithResult(bool success,
                                             const std::optional<lf::Error>& error) override {
        results.push_back(success ? "rerun ok" : "rerun failed");
        errors.push_back(error);
    }
    void didFailToSaveOutputWithError(const lf::Error& error) override {
        saveErrors.push_back(error);
    }
    std::vector<std::string> results;
    // The error of each result, none for a success.
    std::vector<std::optional<lf::Error>> errors;
    std::vector<lf::Error> saveErrors;
};

class RecordingWindow : public QFFlowRunControllerHost {
public:
    void closeFlowController(QFFlowRunController& controller, QFFlowCloseReason reason) override {
        controller.willDisappearFromUI();
        reasons.push_back(reason);
    }
    std::vector<QFFlowCloseReason> reasons;
};
