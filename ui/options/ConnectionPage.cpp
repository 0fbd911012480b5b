#include "ui/options/ConnectionPage.h"

#include "base/ControlIds.h"
#include "base/OptionsPageValues.h"
#include "base/Settings.h"
#include "ui/language/WindowTranslation.h"
#include "ui/options/PageWidgets.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace corvanthelix {

using namespace pagewidgets;

ConnectionPage::ConnectionPage(QWidget* parent) : OptionsPage(kPageId, parent) {
    const ConnectionOptions options = ConnectionOptions::load(settings::settingsFile());

    auto* portGroup = new QGroupBox("Local POP3 port", this);
    port_ = edit(this, control::kConnectionPort, options.port.portText, ListeningPortOptions::kMaxPortText);
    port_->setFixedWidth(80);
    portEnabled_ = checkBox(this, control::kPortEnable, "Enable connections through this port", options.port.enabled);
    watchPortBox(portEnabled_, port_);
    timeout_ = edit(this, control::kConnectionTimeout, options.timeout, kMaxNumberText);
    timeout_->setFixedWidth(80);
    autoAbort_ = checkBox(this, control::kConnectionAutoAbort, "Always abort on timeout", options.autoAbortOnTimeout);
    auto* portLayout = new QGridLayout(portGroup);
    portLayout->addWidget(new QLabel("Port:", this), 0, 0);
    portLayout->addWidget(port_, 0, 1);
    portLayout->addWidget(portEnabled_, 0, 2);
    portLayout->addWidget(new QLabel("Server timeout:", this), 1, 0);
    portLayout->addWidget(timeout_, 1, 1);
    portLayout->addWidget(new QLabel("seconds", this), 1, 2);
    portLayout->addWidget(autoAbort_, 2, 0, 1, 3);
    portLayout->setColumnStretch(2, 1);

    auto* logGroup = new QGroupBox("Log files", this);
    clientLog_ = edit(this, control::kConnectionClientLog, options.clientLogFile, ConnectionOptions::kMaxFileName);
    serverLog_ = edit(this, control::kConnectionServerLog, options.serverLogFile, ConnectionOptions::kMaxFileName);
    clientLogSize_ = edit(this, control::kConnectionClientLogSize, options.clientLogKilobytes, kMaxNumberText);
    serverLogSize_ = edit(this, control::kConnectionServerLogSize, options.serverLogKilobytes, kMaxNumberText);
    clientLogSize_->setFixedWidth(80);
    serverLogSize_->setFixedWidth(80);
    auto* logLayout = new QGridLayout(logGroup);
    logLayout->addWidget(new QLabel("File", this), 0, 1);
    logLayout->addWidget(new QLabel("Maximum size (KB)", this), 0, 2);
    logLayout->addWidget(new QLabel("Mail program:", this), 1, 0);
    logLayout->addWidget(clientLog_, 1, 1);
    logLayout->addWidget(clientLogSize_, 1, 2);
    logLayout->addWidget(new QLabel("Mail server:", this), 2, 0);
    logLayout->addWidget(serverLog_, 2, 1);
    logLayout->addWidget(serverLogSize_, 2, 2);
    logLayout->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(portGroup);
    layout->addWidget(logGroup);
    layout->addStretch();
    translateWindow(this);
}

PageStoreResult ConnectionPage::store() {
    ConnectionOptions options;
    options.port.kind = ListeningPortOptions::Kind::Plain;
    options.port.portText = text(port_);
    options.port.enabled = portEnabled_->isChecked();
    options.timeout = text(timeout_);
    options.clientLogFile = text(clientLog_);
    options.serverLogFile = text(serverLog_);
    options.clientLogKilobytes = text(clientLogSize_);
    options.serverLogKilobytes = text(serverLogSize_);
    options.autoAbortOnTimeout = autoAbort_->isChecked();
    return options.store(settings::settingsFile()) ? PageStoreResult::RestartNeeded : PageStoreResult::Stored;
}

} // namespace corvanthelix
