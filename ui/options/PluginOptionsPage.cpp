#include "ui/options/PluginOptionsPage.h"

#include "filter/PluginRecord.h"

#include <QPointer>
#include <QVBoxLayout>

namespace corvanthelix {

namespace {
// A plug-in's page procedure, with nothing thrown across the boundary into the host.
intptr_t callPage(CvxPageProcedure procedure, void* page, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    if (!procedure) return 0;
    try {
        return procedure(page, message, wparam, lparam);
    } catch (...) {
        return 0;
    }
}
} // namespace

PluginOptionsPage::PluginOptionsPage(PluginRecord& plugin, const PageRecord& page, QWidget* parent)
    : OptionsPage(static_cast<int>(page.dialogId), parent), plugin_(plugin), procedure_(page.procedure),
      title_(page.title ? page.title : ""), icon_(page.icon ? page.icon : ""), help_(page.helpFile ? page.helpFile : ""),
      parentId_(page.parentId) {
    setObjectName(QString("plugin%1").arg(page.dialogId));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    const intptr_t made = callPage(procedure_, nullptr, CVX_PAGE_CREATE, page.dialogId, reinterpret_cast<intptr_t>(static_cast<QWidget*>(this)));
    widget_ = reinterpret_cast<QWidget*>(made);
    if (!widget_) return;
    // The plug-in made its widget under this page; placing it in the layout keeps it so.
    widget_->setParent(this);
    layout->addWidget(widget_);
    // The plug-in may delete its widget itself; the page must not use it afterwards.
    connect(widget_, &QObject::destroyed, this, [this] { widget_ = nullptr; });
}

PluginOptionsPage::~PluginOptionsPage() { releasePage(); }

PageStoreResult PluginOptionsPage::store() {
    if (!widget_) return PageStoreResult::Stored;
    int result = 0;
    callPage(procedure_, widget_, CVX_PAGE_STORE, 0, reinterpret_cast<intptr_t>(&result));
    if (result == 2) return PageStoreResult::Refused;
    return result == 1 ? PageStoreResult::RestartNeeded : PageStoreResult::Stored;
}

void PluginOptionsPage::releasePage() {
    delete widget_; // its destroyed() signal clears widget_
    widget_ = nullptr;
}

} // namespace corvanthelix
