#include "updater/interface/OMAUAutomaticUpdateAlert.h"

#include "updater/interface/OMAUWindowParts.h"
#include "updater/shared/OMAUHost.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

OMAUAutomaticUpdateAlert::OMAUAutomaticUpdateAlert(OMAUAppcastItem item,
                                                   std::shared_ptr<const OMAUHost> host,
                                                   QWidget* parent)
    : QDialog(parent), updateItem_(std::move(item)), host_(std::move(host)) {
    auto* heading = OMAUMakeHeadingLabel(this);
    heading->setText(QString::fromStdString(titleText()));
    auto* description = new QLabel(QString::fromStdString(descriptionText()), this);
    description->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* later =
        buttons->addButton(QString::fromStdString(host_->localizedString("Relaunch Later")),
                           QDialogButtonBox::RejectRole);
    QPushButton* now =
        buttons->addButton(QString::fromStdString(host_->localizedString("Relaunch Now")),
                           QDialogButtonBox::AcceptRole);
    now->setDefault(true);
    connect(later, &QPushButton::clicked, this, [this] { relaunchLater(); });
    connect(now, &QPushButton::clicked, this, [this] { relaunchNow(); });

    auto* text = new QVBoxLayout;
    text->addWidget(heading);
    text->addWidget(description);
    text->addStretch(1);
    text->addWidget(buttons);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(OMAUMakeIconLabel(this));
    layout->addLayout(text, 1);
    setMinimumWidth(420);
    OMAUCentreWindow(this);
}

std::string OMAUAutomaticUpdateAlert::titleText() const {
    return OMAUFormat(host_->localizedString("A new version of %@ has been installed!"),
                      {host_->displayName()});
}

std::string OMAUAutomaticUpdateAlert::descriptionText() const {
    const std::string name = host_->displayName();
    return OMAUFormat(
        host_->localizedString("%@ %@ has been installed and will be ready to use next "
                               "time %@ starts! Would you like to relaunch now?"),
        {name, updateItem_.fileVersion().value_or(""), name});
}
