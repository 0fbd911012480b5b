#pragma once
// Tray Area (page 4015): how long the number icon stays, what a double click on the tray icon
// opens, and the parental lock with its password typed twice. The password fields start with one
// placeholder character per character of the stored password; left so, the password stays.
#include "ui/options/OptionsPage.h"

#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace corvanthelix {

class TrayAreaPage : public OptionsPage {
    Q_OBJECT
public:
    static constexpr int kPageId = 4015;

    explicit TrayAreaPage(QWidget* parent);

    /// Writes the tray settings and the lock; Refused (after string 227 or 226) when the lock is
    /// on without a password or with two different ones.
    PageStoreResult store() override;

    /// The bytes a password field stands for: placeholder bytes for a field of placeholder
    /// characters, the UTF-8 text otherwise.
    static std::string fieldBytes(const QLineEdit* field);

private:
    QLineEdit* seconds_;
    QComboBox* doubleClick_;
    QCheckBox* lock_;
    QLineEdit* password_;
    QLineEdit* confirm_;
};

} // namespace corvanthelix
