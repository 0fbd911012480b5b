#include "ui/options/SenderImporter.h"

#include "base/Application.h"
#include "base/Shell.h"
#include "base/TranslatedFormat.h"
#include "filter/BlockedListFile.h"
#include "filter/CsvSenderFile.h"
#include "filter/SenderImport.h"
#include "filter/VCardReader.h"
#include "ui/language/WindowTranslation.h"
#include "ui/options/ImportColumnDialog.h"
#include "ui/options/ImportConfirmDialog.h"

#include <QFileDialog>

namespace corvanthelix {

namespace {

void importTextFile(QWidget* owner, SenderImport& run, const std::vector<std::string>& lines) {
    int mail = -1, name = -1;
    for (size_t i = 0; i < lines.size() && !run.cancelled(); ++i) {
        std::vector<std::string> fields = CsvSenderFile::splitFields(lines[i]);
        if (i == 0) {
            ImportColumnDialog columns(owner, fields);
            if (columns.exec() != QDialog::Accepted) return;
            mail = columns.mailColumn();
            name = columns.nameColumn();
        }
        if (auto sender = CsvSenderFile::senderOf(fields, mail, name)) run.offer(*sender);
    }
}

QString fileFilter(int list, ImportSource source) {
    const QString all = ";;" + translatedText("All files") + " (*)";
    if (source == ImportSource::TextFile) return translatedText("Comma separated text file") + " (*.csv *.txt)" + all;
    if (list == SenderEntry::kFriend) return translatedText("vCard file") + " (*.vcf)" + all;
    return translatedText("Blocked senders list") + " (*.txt)" + all;
}

} // namespace

int SenderImporter::run(QWidget* owner, const SenderLists& lists, int list) {
    ImportSourceDialog sourceDialog(owner, list);
    if (sourceDialog.exec() != QDialog::Accepted) return -1;
    const ImportSource source = sourceDialog.source();
    const QString path = QFileDialog::getOpenFileName(owner, translatedText("Import sender"), {}, fileFilter(list, source));
    if (path.isEmpty()) return -1;
    return importFile(owner, lists, list, source, path.toStdString());
}

int SenderImporter::importFile(QWidget* owner, const SenderLists& lists, int list, ImportSource source,
                               const std::string& path) {
    SenderImport run(lists, list, [owner](const ImportedSender& s) { return ImportConfirmDialog::ask(owner, s); });
    if (source == ImportSource::TextFile) {
        std::vector<std::string> lines;
        if (CsvSenderFile::readLines(path, lines)) importTextFile(owner, run, lines);
    } else {
        std::vector<ImportedSender> senders;
        bool read = list == SenderEntry::kFriend ? VCardReader::read(path, senders) : BlockedListFile::read(path, senders);
        if (read)
            for (const ImportedSender& s : senders)
                if (run.offer(s) == ImportOffer::Cancelled) break;
    }
    Application::instance().showMessageText(TranslatedFormat::byId(SenderImport::kStringImported, run.count()),
                                            mb::kOk | mb::kIconInformation);
    return run.count();
}

} // namespace corvanthelix
