#include "ui/shell/QFOpenPanel.h"

#include "ui/shell/QFFlowDocument.h"

#include <QFileInfo>

#include <algorithm>

namespace {

bool isFlowDocumentFolder(const QString& path) {
    return QFFlowDocument::isFlowDocumentPath(path.toStdString()) && QFileInfo(path).isDir();
}

// Whether `paths` choose flow documents, with files beside them: none of
// them a folder to go into or a file that is not there.
bool choosesFlowDocuments(const QStringList& paths) {
    const auto choosable = [](const QString& path) {
        const QFileInfo info(path);
        return isFlowDocumentFolder(path) || (info.exists() && !info.isDir());
    };
    return std::any_of(paths.begin(), paths.end(), isFlowDocumentFolder) &&
           std::all_of(paths.begin(), paths.end(), choosable);
}

}  // namespace

QFOpenPanel::QFOpenPanel(QWidget* parent) : QFileDialog(parent) {
    setOption(QFileDialog::DontUseNativeDialog);
    setFileMode(QFileDialog::ExistingFiles);
    setAcceptMode(QFileDialog::AcceptOpen);
    setNameFilter(QStringLiteral("Photoshop documents and flows (*.psd *.psb *.%1)")
                      .arg(QFFlowDocument::kPathExtension));
    // A double click goes into a folder before anyone is asked.
    connect(this, &QFileDialog::directoryEntered, this, [this](const QString& folder) {
        if (isFlowDocumentFolder(folder)) chooseFlowDocuments({folder});
    });
}

void QFOpenPanel::accept() {
    const QStringList selected = selectedFiles();
    if (choosesFlowDocuments(selected))
        chooseFlowDocuments(selected);
    else
        QFileDialog::accept();
}

void QFOpenPanel::chooseFlowDocuments(const QStringList& paths) {
    for (const QString& path : paths)
        chosen_.push_back(path.toStdString());
    // The next panel opens beside the flow document, not inside it.
    setDirectory(QFileInfo(paths.front()).absolutePath());
    QDialog::accept();
}

void QFOpenPanel::done(int result) {
    if (result == QDialog::Accepted && chosen_.empty()) {
        for (const QString& path : selectedFiles())
            chosen_.push_back(path.toStdString());
    }
    QFileDialog::done(result);
}
