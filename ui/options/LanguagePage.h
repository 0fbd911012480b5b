#pragma once
// Language (page 4007): built-in English and every language file of the program's resources,
// with version and author; the row of the `Language` setting is selected. Storing loads the
// chosen language at once, adds the plug-ins' language files for it again and records the choice.
// "Check now!" looks for a newer language pack.
#include "ui/options/OptionsPage.h"

#include <string>
#include <vector>

class QTreeWidget;

namespace corvanthelix {

class LanguagePage : public OptionsPage {
    Q_OBJECT
public:
    static constexpr int kPageId = 4007;
    static constexpr int kStringLanguage = 134;
    static constexpr int kStringAuthor = 135;
    static constexpr int kStringVersion = 136;
    static constexpr const char* kEnglishRow = "English (default)";
    /// The `Language` value that chooses built-in English.
    static constexpr const char* kDefaultLanguage = "default";

    /// One row of the list; an empty file name stands for built-in English.
    struct Row {
        std::string name, version, author, fileName;
    };
    /// English first, then the language files of `folder` in name order.
    static std::vector<Row> languageRows(const std::string& folder);
    /// The index of the row whose file name equals `setting` without regard to letter case, else
    /// the English row's.
    static int selectedRow(const std::vector<Row>& rows, const std::string& setting);

    explicit LanguagePage(QWidget* parent);
    PageStoreResult store() override;

private:
    std::vector<Row> rows_;
    QTreeWidget* list_;
};

} // namespace corvanthelix
