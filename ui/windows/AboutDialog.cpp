#include "ui/windows/AboutDialog.h"

#include "base/Application.h"
#include "base/HelpPages.h"
#include "ui/widgets/ControlNames.h"
#include "ui/widgets/WindowEffects.h"
#include "ui/language/WindowTranslation.h"
#include "base/ControlIds.h"
#include "base/OpenSslNotice.h"
#include "base/StringTable.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvanthelix {

namespace {
constexpr int kStringDisclaimerTitle = 234;
constexpr int kStringAcknowledgement = 235;
constexpr int kStringDisclaimerHeading = 236;
constexpr int kTitlePixels = 14;

QLabel* ownerDrawnLine(const QString& text, int id, QWidget* parent, QColor colour, bool underline) {
    auto* label = withControlId(new QLabel(text, parent), id);
    QFont font("Arial");
    font.setPixelSize(kTitlePixels);
    font.setWeight(QFont::Bold);
    font.setUnderline(underline);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}
} // namespace

AboutDialog::AboutDialog(const std::string& programFolder, QWidget* owner) : QDialog(owner) {
    setObjectName(controlObjectName(resource::kAboutDialog));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("About Corvanthelix");
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    auto* picture = withControlId(new QLabel(this), control::kAboutPicture);
    picture->setPixmap(QPixmap(QString::fromStdString(programFolder + "/bitmaps/corvanthelix.bmp")));
    picture->setAlignment(Qt::AlignTop);

    auto* title = ownerDrawnLine(Application::kName, control::kAboutTitle, this, Qt::black, false);
    const std::string site = help::webSite();
    auto* link = ownerDrawnLine(site.c_str(), control::kAboutLink, this, QColor(0, 0, 128), true);
    link->setTextInteractionFlags(Qt::TextBrowserInteraction);
    link->setText(QString("<a href=\"%1\" style=\"color:#000080\">%1</a>").arg(QString::fromStdString(site)));
    link->setOpenExternalLinks(true);

    auto* version = withControlId(new QLabel("version %s", this), control::kAboutVersion);
    auto* acknowledgement = withControlId(new QLabel(this), control::kAboutAcknowledgement);
    acknowledgement->setWordWrap(true);
    acknowledgement->setMinimumWidth(320);

    auto* disclaimer = withControlId(new QPushButton("Disclaimer", this), control::kAboutDisclaimer);
    connect(disclaimer, &QPushButton::clicked, this, &AboutDialog::showDisclaimer);
    auto* close = withControlId(new QPushButton("Close", this), control::kOk);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::close);

    auto* texts = new QVBoxLayout;
    texts->addWidget(title);
    texts->addWidget(version);
    texts->addWidget(link);
    texts->addSpacing(8);
    texts->addWidget(acknowledgement);
    texts->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(disclaimer);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    translateWindow(this);
    // The version line's pattern is translated, then filled; a language file's text is never
    // used as a format.
    version->setText(version->text().replace("%s", Application::kVersion));
    acknowledgement->setText(QString::fromStdString(loadString(kStringAcknowledgement)));
}

void AboutDialog::showDisclaimer() {
    QDialog dialog(this);
    dialog.setWindowTitle(QString::fromStdString(loadString(kStringDisclaimerTitle)));
    auto* heading = new QLabel(QString::fromStdString(loadString(kStringDisclaimerHeading)), &dialog);
    auto* text = new QPlainTextEdit(QString::fromUtf8(kOpenSslNotice), &dialog);
    text->setObjectName(controlObjectName(control::kAboutDisclaimerText));
    text->setReadOnly(true);
    text->setMinimumSize(560, 260);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(heading);
    layout->addWidget(text);
    layout->addWidget(buttons);
    dialog.exec();
}

void AboutDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (fadingWanted()) fadeWindow(this, true);
}

} // namespace corvanthelix
