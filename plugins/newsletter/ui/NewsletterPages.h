#pragma once
// The newsletter plug-in's three settings pages: "Newsletters" (4005) with the training options,
// "Signatures" (4006) and "Newsgroups" (4007) with their lists. Edits of the lists change the
// filter's lists at once; Store() (message 2025) saves them and the options.
#include "common/ui/EntryListPage.h"

#include <cstdint>

class QCheckBox;

namespace corvanthelix::newsletter {

class NewslettersPage : public QWidget {
    Q_OBJECT
public:
    explicit NewslettersPage(QWidget* parent);
    /// Writes NoTraining and AutoLearn ("1"/"0") through the host.
    bool Store();

private:
    QCheckBox* noTraining_ = nullptr;
    QCheckBox* autoLearn_ = nullptr;
};

class SignaturesPage : public plugin::EntryListPage {
    Q_OBJECT
public:
    explicit SignaturesPage(QWidget* parent);
    /// Saves "signatures.dat".
    bool Store();

private:
    void Add();
    void Delete();
    void Refill(const std::string& select);
};

class NewsgroupsPage : public plugin::EntryListPage {
    Q_OBJECT
public:
    explicit NewsgroupsPage(QWidget* parent);
    /// Saves "recipients.dat".
    bool Store();

private:
    void Add();
    void Delete();
    void Refill(const std::string& select);
};

/// The page procedure of the three pages: CVX_PAGE_CREATE (wparam: 4005, 4006 or 4007) makes the
/// page under the widget in `lparam`; CVX_PAGE_STORE stores `page`.
intptr_t NewsletterPageProcedure(void* page, uint32_t message, uintptr_t wparam, intptr_t lparam);

} // namespace corvanthelix::newsletter
