#include "attachment/ui/AttachmentPage.h"

#include "attachment/AttachmentCheck.h"
#include "attachment/AttachmentPlugin.h"
#include "common/ui/TextEntryDialog.h"

#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvanthelix::quillatrest {

namespace {
AttachmentPlugin& plugin() { return AttachmentPlugin::instance(); }
QString text(const char* english) { return QString::fromStdString(plugin().Host().TranslateText(english)); }
} // namespace

AttachmentPage::AttachmentPage(QWidget* parent)
    : EntryListPage(parent, AttachmentPlugin::instance().Host(), "Blocked file extensions:", {"Extension"}) {
    setObjectName("attachmentPage");
    connect(this, &EntryListPage::addRequested, this, &AttachmentPage::Add);
    connect(this, &EntryListPage::deleteRequested, this, &AttachmentPage::Delete);
    Refill({});
}

void AttachmentPage::Refill(const std::string& select) {
    std::vector<Row> rows;
    for (const std::string& extension : plugin().Extensions().Entries()) rows.push_back({extension});
    Show(rows, select);
}

void AttachmentPage::Add() {
    plugin::TextEntryDialog dialog(this, host_, "Add extension", {"New extension:"}, [](const QString& typed) {
        return QString::fromStdString(std::string(NormalizeExtension(typed.toStdString())));
    });
    if (dialog.exec() != QDialog::Accepted) return;
    const std::string extension = dialog.Values().front().toStdString();
    if (plugin().Extensions().Add(extension) == plugin::TextLineList::AddResult::Duplicate) {
        QMessageBox::critical(this, text(AttachmentPlugin::kName), text("This extension is already in the list!"));
        return;
    }
    Refill(extension);
}

void AttachmentPage::Delete() {
    const std::string extension = Selected(0);
    if (extension.empty()) return;
    const QString question = text("Do you want to delete the extension \"%s\"?").replace("%s", QString::fromStdString(extension));
    if (QMessageBox::question(this, text(AttachmentPlugin::kName), question) != QMessageBox::Yes) return;
    plugin().Extensions().Remove(extension);
    Refill({});
}

bool AttachmentPage::Store() { return plugin().SaveList(); }

void ShowConfigureDialog(QWidget* parent) {
    QDialog dialog(parent);
    dialog.setObjectName("attachmentConfigure");
    dialog.setWindowTitle(AttachmentPlugin::kName);
    auto* page = new AttachmentPage(&dialog);
    auto* buttons = new QDialogButtonBox;
    buttons->addButton("OK", QDialogButtonBox::AcceptRole)->setObjectName("ok");
    buttons->addButton("Cancel", QDialogButtonBox::RejectRole)->setObjectName("cancel");
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&dialog, page] {
        page->Store();
        dialog.accept();
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(page);
    layout->addWidget(buttons);
    dialog.resize(380, 320);
    plugin().Host().TranslateWindow(&dialog);
    dialog.exec();
}

intptr_t AttachmentPageProcedure(void* page, uint32_t message, uintptr_t, intptr_t lparam) {
    try {
        switch (message) {
        case CVX_PAGE_CREATE: return reinterpret_cast<intptr_t>(static_cast<QWidget*>(new AttachmentPage(reinterpret_cast<QWidget*>(lparam))));
        case CVX_PAGE_STORE:
            if (auto* p = qobject_cast<AttachmentPage*>(static_cast<QWidget*>(page))) p->Store();
            return 0;
        default: return 0;
        }
    } catch (...) {
        return 0;
    }
}

} // namespace corvanthelix::quillatrest
