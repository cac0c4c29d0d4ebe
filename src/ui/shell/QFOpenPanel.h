#pragma once
// QFOpenPanel: the panel of File > Open…, which chooses Photoshop documents
// and flow documents. A flow document is a folder (QFFlowDocument) that the
// panel takes as one file: Open on it, Return on its typed path, or a
// double click, chooses it, where any other folder is gone into.
//
// Always the panel of our own, never the desktop's dialog, which would go
// into a flow document as into any folder.
//
// Threads: main thread only.

#include <QFileDialog>

#include <string>
#include <vector>

class QFOpenPanel : public QFileDialog {
    Q_OBJECT

public:
    explicit QFOpenPanel(QWidget* parent = nullptr);

    // The paths chosen, in order, once the panel was accepted.
    const std::vector<std::string>& chosenPaths() const { return chosen_; }

    void accept() override;
    void done(int result) override;

private:
    void chooseFlowDocuments(const QStringList& paths);

    std::vector<std::string> chosen_;
};
