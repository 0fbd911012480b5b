#include "newsletter/ui/NewsletterPages.h"

#include "common/ui/TextEntryDialog.h"
#include "newsletter/NewsletterPlugin.h"

#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QVBoxLayout>

namespace corvanthelix::newsletter {

namespace {
constexpr uint32_t kNewsletters = 4005;
constexpr uint32_t kSignatures = 4006;
constexpr uint32_t kNewsgroups = 4007;

NewsletterPlugin& plugin() { return NewsletterPlugin::instance(); }
QString text(const char* english) { return QString::fromStdString(plugin().Host().TranslateText(english)); }

void refuse(QWidget* page, const char* message) {
    QMessageBox::critical(page, text(NewsletterPlugin::kName), text(message));
}

bool confirmDelete(QWidget* page, const char* question, const std::string& entry) {
    const QString asked = text(question).replace("%s", QString::fromStdString(entry));
    return QMessageBox::question(page, text(NewsletterPlugin::kName), asked) == QMessageBox::Yes;
}

QLabel* warning(const char* english) {
    auto* label = new QLabel(english);
    label->setWordWrap(true);
    label->setStyleSheet("color: #a00000;");
    return label;
}
} // namespace

NewslettersPage::NewslettersPage(QWidget* parent) : QWidget(parent) {
    setObjectName("newslettersPage");
    noTraining_ = new QCheckBox("Don't save newsletters in the Training Area");
    noTraining_->setObjectName("noTraining");
    autoLearn_ = new QCheckBox("Automatically learn from newsletters");
    autoLearn_->setObjectName("autoLearn");
    noTraining_->setChecked(plugin().Setting(NewsletterPlugin::kNoTraining, NewsletterPlugin::kNoTrainingDefault));
    autoLearn_->setChecked(plugin().Setting(NewsletterPlugin::kAutoLearn, NewsletterPlugin::kAutoLearnDefault));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(noTraining_);
    layout->addWidget(autoLearn_);
    layout->addWidget(warning("Be careful with this option, because newsletters often contain advertisements."));
    layout->addStretch();
    plugin().Host().TranslateWindow(this);
    autoLearn_->setEnabled(noTraining_->isChecked());
    connect(noTraining_, &QCheckBox::toggled, autoLearn_, &QWidget::setEnabled);
}

bool NewslettersPage::Store() {
    const void* module = plugin().Info();
    const bool a = plugin().Host().WriteSetting(module, NewsletterPlugin::kNoTraining, noTraining_->isChecked() ? "1" : "0");
    const bool b = plugin().Host().WriteSetting(module, NewsletterPlugin::kAutoLearn, autoLearn_->isChecked() ? "1" : "0");
    return a && b;
}

SignaturesPage::SignaturesPage(QWidget* parent)
    : EntryListPage(parent, NewsletterPlugin::instance().Host(),
                    "Some newsletter senders use signatures that appear in the subject line.\nSpecify these "
                    "signatures here, so that your newsletters won't be blocked:",
                    {"Signature"}) {
    setObjectName("signaturesPage");
    connect(this, &EntryListPage::addRequested, this, &SignaturesPage::Add);
    connect(this, &EntryListPage::deleteRequested, this, &SignaturesPage::Delete);
    Refill({});
}

void SignaturesPage::Refill(const std::string& select) {
    std::vector<Row> rows;
    for (const std::string& signature : plugin().Signatures().Entries()) rows.push_back({signature});
    Show(rows, select);
}

void SignaturesPage::Add() {
    plugin::TextEntryDialog dialog(this, host_, "Add signature", {"New signature:"});
    if (dialog.exec() != QDialog::Accepted) return;
    const std::string signature = dialog.Values().front().toStdString();
    if (plugin().Signatures().Add(signature) == plugin::TextLineList::AddResult::Duplicate) {
        refuse(this, "This signature is already in the list!");
        return;
    }
    Refill(signature);
}

void SignaturesPage::Delete() {
    const std::string signature = Selected(0);
    if (signature.empty() || !confirmDelete(this, "Do you want to delete the signature \"%s\"?", signature)) return;
    plugin().Signatures().Remove(signature);
    Refill({});
}

bool SignaturesPage::Store() { return plugin().SaveSignatures(); }

NewsgroupsPage::NewsgroupsPage(QWidget* parent)
    : EntryListPage(parent, NewsletterPlugin::instance().Host(),
                    "Some newsletter senders or newsgroups always use the same recipient address for all their "
                    "e-mails. Specify these addresses here, so that the messages won't be blocked:",
                    {"Newsgroup name", "Mail address"}) {
    setObjectName("newsgroupsPage");
    auto* caution = warning("Never add your own e-mail address to this list! Otherwise you will receive all messages "
                            "with no exception!");
    caution->setText(text(caution->text().toUtf8().constData()));
    Layout()->addWidget(caution);
    connect(this, &EntryListPage::addRequested, this, &NewsgroupsPage::Add);
    connect(this, &EntryListPage::deleteRequested, this, &NewsgroupsPage::Delete);
    Refill({});
}

void NewsgroupsPage::Refill(const std::string& select) {
    std::vector<Row> rows;
    for (const Recipient& r : plugin().Recipients().Entries()) rows.push_back({r.name, r.address});
    Show(rows, select, 1);
}

void NewsgroupsPage::Add() {
    plugin::TextEntryDialog dialog(this, host_, "Add newsgroup", {"Newsgroup name:", "Mail address:"});
    if (dialog.exec() != QDialog::Accepted) return;
    const QStringList values = dialog.Values();
    const std::string address = values.at(1).toStdString();
    if (plugin().Recipients().Add(values.at(0).toStdString(), address) == RecipientList::AddResult::Duplicate) {
        refuse(this, "This newsgroup is already in the list!");
        return;
    }
    Refill(address);
}

void NewsgroupsPage::Delete() {
    const std::string address = Selected(1);
    if (address.empty() || !confirmDelete(this, "Do you want to delete the newsgroup \"%s\"?", address)) return;
    plugin().Recipients().Remove(address);
    Refill({});
}

bool NewsgroupsPage::Store() { return plugin().SaveRecipients(); }

intptr_t NewsletterPageProcedure(void* page, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    try {
        if (message == CVX_PAGE_CREATE) {
            auto* parent = reinterpret_cast<QWidget*>(lparam);
            QWidget* made = nullptr;
            if (wparam == kNewsletters) made = new NewslettersPage(parent);
            else if (wparam == kSignatures) made = new SignaturesPage(parent);
            else if (wparam == kNewsgroups) made = new NewsgroupsPage(parent);
            return reinterpret_cast<intptr_t>(made);
        }
        if (message == CVX_PAGE_STORE) {
            auto* widget = static_cast<QWidget*>(page);
            if (auto* p = qobject_cast<NewslettersPage*>(widget)) p->Store();
            else if (auto* p = qobject_cast<SignaturesPage*>(widget)) p->Store();
            else if (auto* p = qobject_cast<NewsgroupsPage*>(widget)) p->Store();
        }
        return 0;
    } catch (...) {
        return 0;
    }
}

} // namespace corvanthelix::newsletter
