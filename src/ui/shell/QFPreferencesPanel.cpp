#include "ui/shell/QFPreferencesPanel.h"

#include "platform/dispatch/MainQueue.h"
#include "platform/settings/UserDefaults.h"
#include "ui/shell/QFApplicationDelegate.h"
#include "ui/window/QFResources.h"
#include "ui/window/QFWindowLabel.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>

QFPreferencesPanel::QFPreferencesPanel(QWidget* parent)
    : QFWindow(parent), titleLabel_(new QFWindowLabel), checkbox_(new QCheckBox) {
    const QString product = QString::fromStdString(QFResources::shared()->productName());
    const QString title = QStringLiteral("%1 Preferences").arg(product);
    setWindowTitle(title);
    titleLabel_->setText(title);
    setDefaultTitleView(titleLabel_);  // owned by the window
    setTitleView(nullptr);
    for (auto kind : {QFStandardWindowButton::Miniaturize, QFStandardWindowButton::Zoom})
        standardWindowButton(kind)->setEnabled(false);

    checkbox_->setText(
        QStringLiteral("Show the Photoshop helper in the tray, to open the document active in "
                       "Photoshop"));
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->addWidget(checkbox_);
    setCustomizableContentView(content);  // owned by the window
    resize(minimumSize());

    connect(checkbox_, &QCheckBox::toggled, this, [](bool shows) {
        lf::UserDefaults::standard()->setObject(QFApplicationDelegate::kDisableMenuBarPSHelperKey,
                                                !shows);
    });
    QPointer<QFPreferencesPanel> panel(this);
    binding_ = lf::UserDefaults::standard()->observe(
        QFApplicationDelegate::kDisableMenuBarPSHelperKey, [panel] {
            lf::MainQueue::shared()->async([panel] {
                if (panel) panel->updateCheckbox();
            });
        });
    updateCheckbox();
}

void QFPreferencesPanel::center() {
    const QScreen* screen = this->screen();
    if (!screen) return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void QFPreferencesPanel::keyPressEvent(QKeyEvent* event) {
    const bool escape = event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier;
    if (escape || event->matches(QKeySequence::Close)) {
        close();
        return;
    }
    QFWindow::keyPressEvent(event);
}

void QFPreferencesPanel::updateCheckbox() {
    const QSignalBlocker blocker(checkbox_);
    checkbox_->setChecked(!lf::UserDefaults::standard()->boolForKey(
        QFApplicationDelegate::kDisableMenuBarPSHelperKey));
}
