#include "ui/options/SslTlsPage.h"

#include "base/Application.h"
#include "base/ControlIds.h"
#include "base/OptionsPageValues.h"
#include "base/Settings.h"
#include "proxy/HostList.h"
#include "ui/language/WindowTranslation.h"
#include "ui/options/KnownHostsDialog.h"
#include "ui/options/PageWidgets.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvanthelix {

using namespace pagewidgets;

SslTlsPage::SslTlsPage(QWidget* parent) : OptionsPage(kPageId, parent) {
    const SslTlsOptions options = SslTlsOptions::load(settings::settingsFile());

    auto* portGroup = new QGroupBox("Local POP3 port for SSL/TLS connections", this);
    port_ = edit(this, control::kSslPort, options.port.portText, ListeningPortOptions::kMaxPortText);
    port_->setFixedWidth(80);
    portEnabled_ = checkBox(this, control::kPortEnable, "Enable connections through this port", options.port.enabled);
    watchPortBox(portEnabled_, port_);
    auto* portLayout = new QGridLayout(portGroup);
    portLayout->addWidget(new QLabel("Port:", this), 0, 0);
    portLayout->addWidget(port_, 0, 1);
    portLayout->addWidget(portEnabled_, 0, 2);
    portLayout->setColumnStretch(2, 1);

    auto* serverGroup = new QGroupBox("Mail servers", this);
    trySsl_ = checkBox(this, control::kSslTryTls, "Automatically enable SSL/TLS if available", options.trySsl);
    auto* knownHosts = withControlId(new QPushButton("Known hosts...", this), control::kSslKnownHosts);
    connect(knownHosts, &QPushButton::clicked, this, [this] {
        KnownHostsDialog dialog(Application::instance().paths().hostListFile(), this);
        dialog.exec();
    });
    auto* hostsRow = new QHBoxLayout;
    hostsRow->addWidget(new QLabel("Accounts and their certificates:", this));
    hostsRow->addStretch();
    hostsRow->addWidget(knownHosts);
    auto* serverLayout = new QVBoxLayout(serverGroup);
    serverLayout->addWidget(trySsl_);
    serverLayout->addLayout(hostsRow);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(portGroup);
    layout->addWidget(serverGroup);
    layout->addStretch();
    translateWindow(this);
}

PageStoreResult SslTlsPage::store() {
    SslTlsOptions options;
    options.port.kind = ListeningPortOptions::Kind::Secure;
    options.port.portText = text(port_);
    options.port.enabled = portEnabled_->isChecked();
    options.trySsl = trySsl_->isChecked();
    return options.store(settings::settingsFile()) ? PageStoreResult::RestartNeeded : PageStoreResult::Stored;
}

} // namespace corvanthelix
