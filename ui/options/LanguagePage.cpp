#include "ui/options/LanguagePage.h"

#include "base/Application.h"
#include "base/ControlIds.h"
#include "base/ProgramLanguage.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "filter/PluginManager.h"
#include "language/CLanguage.h"
#include "language/Vexolindra.h"
#include "ui/language/WindowTranslation.h"
#include "ui/options/OptionsDialog.h"
#include "ui/widgets/ControlNames.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <strings.h>

namespace corvanthelix {

namespace {
int collectRow(const LANGUAGE* language, void* userData) {
    auto* rows = static_cast<std::vector<LanguagePage::Row>*>(userData);
    rows->push_back({language->name, language->version, language->author, language->fileName});
    return 1;
}

QString text(int id) { return QString::fromStdString(loadString(id)); }
} // namespace

std::vector<LanguagePage::Row> LanguagePage::languageRows(const std::string& folder) {
    std::vector<Row> rows{{kEnglishRow, Application::kVersion, "", ""}};
    EnumLanguages(folder.c_str(), kLanguageFilePattern, &collectRow, &rows);
    return rows;
}

int LanguagePage::selectedRow(const std::vector<Row>& rows, const std::string& setting) {
    for (size_t i = 0; i < rows.size(); ++i)
        if (!rows[i].fileName.empty() && strcasecmp(rows[i].fileName.c_str(), setting.c_str()) == 0)
            return static_cast<int>(i);
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].fileName.empty()) return static_cast<int>(i);
    return 0;
}

LanguagePage::LanguagePage(QWidget* parent) : OptionsPage(kPageId, parent) {
    auto* group = new QGroupBox("Language", this);
    list_ = withControlId(new QTreeWidget(this), control::kLanguageList);
    list_->setRootIsDecorated(false);
    list_->setColumnCount(3);
    auto* checkNow = withControlId(new QPushButton("Check now!", this), command::kUpdateCheck);
    connect(checkNow, &QPushButton::clicked, this, [] {
        if (OptionsDialog::hooks().checkLanguagePack) OptionsDialog::hooks().checkLanguagePack();
    });
    auto* packRow = new QHBoxLayout;
    packRow->addWidget(new QLabel("Look for a newer language pack:", this));
    packRow->addStretch();
    packRow->addWidget(checkNow);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(new QLabel("Choose the language of the program:", this));
    groupLayout->addWidget(list_);
    groupLayout->addLayout(packRow);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(group);
    translateWindow(this);

    // The column titles come from the string table (translated there); the rows are data.
    list_->setHeaderLabels({text(kStringLanguage), text(kStringVersion), text(kStringAuthor)});
    rows_ = languageRows(Application::instance().resourceFolder());
    for (const Row& row : rows_) {
        auto* item = new QTreeWidgetItem(list_);
        const QString name = row.fileName.empty() ? translatedText(kEnglishRow) : QString::fromStdString(row.name);
        item->setText(0, name);
        item->setText(1, QString::fromStdString(row.version));
        item->setText(2, QString::fromStdString(row.author));
    }
    list_->header()->resizeSection(0, 200);
    list_->header()->resizeSection(1, 90);
    const int selected = selectedRow(rows_, settings::language());
    list_->setCurrentItem(list_->topLevelItem(selected));
    connect(list_, &QTreeWidget::currentItemChanged, this, &OptionsPage::changed);
}

PageStoreResult LanguagePage::store() {
    const int index = list_->indexOfTopLevelItem(list_->currentItem());
    if (index < 0 || static_cast<size_t>(index) >= rows_.size()) return PageStoreResult::Stored;
    const Row& row = rows_[static_cast<size_t>(index)];
    Application& app = Application::instance();
    const std::string path = row.fileName.empty() ? std::string() : app.paths().resourcePath(row.fileName);
    CLanguage* language = GetLanguage();
    if (!language) language = InitLanguage(nullptr);
    // Unloaded first, so that texts the new file lacks are English rather than the old language's.
    language->SetLanguageFile(nullptr);
    if (!path.empty()) language->SetLanguageFile(path.c_str());
    settings::setLanguage(row.fileName.empty() ? kDefaultLanguage : row.fileName);
    LANGUAGE information{};
    language->GetInformation(&information);
    // The main file's entries win over a plug-in's.
    for (const std::string& pluginFile : PluginManager::instance().languageFiles(information.languageId))
        language->AddLanguageFile(pluginFile.c_str(), 0);
    return PageStoreResult::Stored;
}

} // namespace corvanthelix
