#include "ui/language/WindowTranslation.h"

#include "language/Vexolindra.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
#include <QWidget>

#include <unordered_set>

namespace corvanthelix {

namespace {

// How much of a text is read before it is looked up.
constexpr int kWindowTitleLimit = 254;
constexpr int kInnerTextLimit = 1023;
constexpr int kMenuItemLimit = 254;

// One pass over a window: menus and actions reachable on several paths are translated once, so
// that a translation is never looked up again as if it were English.
struct Pass {
    const CLanguage& language;
    std::unordered_set<const QWidget*> menus;
    std::unordered_set<const QAction*> actions;
};

// The translation of `text` read up to `limit` characters; `text` whole when that part has no
// translation, so a long text is not cut just by passing through.
QString translated(const CLanguage& language, const QString& text, int limit) {
    if (text.isEmpty()) return text;
    QString read = text.left(limit);
    QByteArray source = read.toUtf8();
    QString result = QString::fromStdString(language.TranslateText(source.constData()));
    return result == read ? text : result;
}

void translateMenuItems(Pass& pass, QWidget* menu) {
    if (!menu || !pass.menus.insert(menu).second) return;
    for (QAction* action : menu->actions()) {
        if (QMenu* submenu = action->menu()) translateMenuItems(pass, submenu);
        if (action->isSeparator() || action->text().isEmpty()) continue;
        if (!pass.actions.insert(action).second) continue;
        action->setText(translated(pass.language, action->text(), kMenuItemLimit));
    }
}

void translateComboItems(const CLanguage& language, QComboBox* combo) {
    // An editable combo box holds what the user typed or chose before, not program texts.
    if (combo->isEditable()) return;
    for (int i = 0; i < combo->count(); ++i)
        combo->setItemText(i, translated(language, combo->itemText(i), kInnerTextLimit));
}

void translateTabs(const CLanguage& language, QTabBar* tabs) {
    for (int i = 0; i < tabs->count(); ++i)
        tabs->setTabText(i, translated(language, tabs->tabText(i), kInnerTextLimit));
}

// The texts a widget shows of its own. Input fields (line edits, text edits, spin boxes) are not
// touched: what they hold belongs to the user.
void translateWidget(Pass& pass, QWidget* widget, int limit) {
    const CLanguage& language = pass.language;
    if (!widget->windowTitle().isEmpty())
        widget->setWindowTitle(translated(language, widget->windowTitle(), limit));
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(translated(language, label->text(), limit));
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(translated(language, button->text(), limit));
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(translated(language, group->title(), limit));
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        translateComboItems(language, combo);
    } else if (auto* tabs = qobject_cast<QTabBar*>(widget)) {
        translateTabs(language, tabs);
    } else if (qobject_cast<QMenuBar*>(widget) || qobject_cast<QMenu*>(widget)) {
        translateMenuItems(pass, widget);
    }
}

} // namespace

void CLanguage::TranslateWindow(void* window) const {
    auto* top = static_cast<QWidget*>(window);
    if (!top) return;
    Pass pass{*this, {}, {}};
    translateWidget(pass, top, kWindowTitleLimit);
    for (QWidget* child : top->findChildren<QWidget*>()) {
        // Another window parented to this one (a dialog it opened) translates itself when it is
        // made; menus are popup windows but belong to this one.
        if (child->isWindow() && !qobject_cast<QMenu*>(child)) continue;
        translateWidget(pass, child, kInnerTextLimit);
    }
}

void CLanguage::TranslateMenu(void* menu) const {
    Pass pass{*this, {}, {}};
    translateMenuItems(pass, static_cast<QWidget*>(menu));
}

void translateWindow(QWidget* window) {
    if (const CLanguage* language = GetLanguage()) language->TranslateWindow(window);
}

void translateMenu(QWidget* menu) {
    if (const CLanguage* language = GetLanguage()) language->TranslateMenu(menu);
}

QString translatedText(const char* english) {
    const CLanguage* language = GetLanguage();
    if (!language || !english) return QString::fromUtf8(english ? english : "");
    return QString::fromStdString(language->TranslateText(english));
}

} // namespace corvanthelix
