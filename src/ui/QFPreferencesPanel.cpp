#include "ui/QFPreferencesPanel.h"

#include "platform/MainQueue.h"
#include "platform/UserDefaults.h"
#include "ui/QFApplicationDelegate.h"
#include "ui/QFResources.h"

#include <QCheckBox>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>

QFPreferencesPanel::QFPreferencesPanel(QWidget* parent)
    : QWidget(parent, Qt::Dialog), checkbox_(new QCheckBox(this)) {
    const QString product = QString::fromStdString(QFResources::shared()->productName());
    setWindowTitle(QStringLiteral("%1 Preferences").arg(product));
    checkbox_->setText(
        QStringLiteral("Show the Photoshop helper in the tray, to open the document active in "
                       "Photoshop"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->addWidget(checkbox_);
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
    adjustSize();
    const QScreen* screen = this->screen();
    if (!screen) return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void QFPreferencesPanel::updateCheckbox() {
    const QSignalBlocker blocker(checkbox_);
    checkbox_->setChecked(!lf::UserDefaults::standard()->boolForKey(
        QFApplicationDelegate::kDisableMenuBarPSHelperKey));
}
