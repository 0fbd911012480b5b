#pragma once
// The attachment filter's settings page (dialog 4005 "Attachments"): the blocked file extensions
// with Add and Delete. Edits change the filter's list at once; Store() saves it to its file.
#include "common/ui/EntryListPage.h"

namespace corvanthelix::quillatrest {

class AttachmentPage : public plugin::EntryListPage {
    Q_OBJECT
public:
    explicit AttachmentPage(QWidget* parent);
    /// Saves the list (message 2025, and OK of the configure dialog). False when it could not be
    /// written.
    bool Store();

private:
    void Add();
    void Delete();
    void Refill(const std::string& select);
};

/// The configure dialog: the settings page as a modal dialog with OK and Cancel; OK saves.
void ShowConfigureDialog(QWidget* parent);

/// The page procedure of the plug-in's page list: CVX_PAGE_CREATE makes an AttachmentPage under
/// the widget in `lparam`, CVX_PAGE_STORE stores `page` (lparam: the host's int result, left 0).
intptr_t AttachmentPageProcedure(void* page, uint32_t message, uintptr_t wparam, intptr_t lparam);

} // namespace corvanthelix::quillatrest
