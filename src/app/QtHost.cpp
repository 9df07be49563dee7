#include "app/QtHost.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>

#include "app/Translation.h"

namespace zvek {

QString PathToQt(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

std::string PathFromQt(const QString& path) { return QFile::encodeName(path).toStdString(); }

namespace {

QMessageBox::Icon IconOf(MsgKind kind) {
    switch (kind) {
    case MsgKind::Error:
        return QMessageBox::Critical;
    case MsgKind::Warning:
        return QMessageBox::Warning;
    case MsgKind::Confirmation:
        return QMessageBox::Question;
    case MsgKind::Information:
        break;
    }
    return QMessageBox::Information;
}

// "Caption(*.a;*.b)" becomes a Qt filter whose patterns are blank-separated;
// the dialog shows the caption alone (HideNameFilterDetails).
QString QtFilter(const FileFilter& filter) {
    return QString::fromUtf8(filter.caption) + QStringLiteral(" (") +
           QString::fromUtf8(filter.patterns).replace(QLatin1Char(';'), QLatin1Char(' ')) + QLatin1Char(')');
}

}  // namespace

MsgResult QtHost::ShowMessageBox(std::string_view text, MsgKind kind, MsgButtons buttons) {
    QMessageBox box(IconOf(kind), QApplication::applicationDisplayName(), QString::fromStdString(MessageLines(text)),
                    QMessageBox::NoButton, &window_);
    // An address the browser could not be given can be copied from here.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPushButton* ok = nullptr;
    QPushButton* yes = nullptr;
    QPushButton* no = nullptr;
    QPushButton* cancel = nullptr;
    if (buttons == MsgButtons::Ok) {
        ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.setEscapeButton(ok);
    } else {
        yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
        if (buttons == MsgButtons::YesNoCancel) no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
        cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(cancel);
    }
    box.exec();
    const auto* clicked = box.clickedButton();
    if (clicked == yes && yes) return MsgResult::Yes;
    if (clicked == no && no) return MsgResult::No;
    if (ok) return MsgResult::Ok;
    return MsgResult::Cancel;
}

bool QtHost::ShowFileDialog(FileDialog& dialog) {
    LoadQtJapanese();
    const bool save = dialog.kind == FileDialog::Kind::Save;
    QFileDialog box(&window_, QString::fromUtf8(dialog.title),
                    dialog.initialDir.empty() ? QDir::currentPath() : PathToQt(dialog.initialDir));
    box.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    box.setFileMode(!save && dialog.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    box.setOption(QFileDialog::DontConfirmOverwrite, !dialog.overwritePrompt);
    box.setOption(QFileDialog::HideNameFilterDetails);
    // "*.taglyr" must find "Song.TagLyr" as it does where the names come from.
    box.setFilter(box.filter() & ~QDir::CaseSensitive);
    QStringList filters;
    for (const auto& filter : dialog.filters) filters << QtFilter(filter);
    box.setNameFilters(filters);
    if (dialog.filterIndex >= 1 && dialog.filterIndex <= filters.size())
        box.selectNameFilter(filters[dialog.filterIndex - 1]);
    box.setDefaultSuffix(QString::fromUtf8(dialog.defaultExt));
    // A proposed path with a folder names that folder (relative ones from the
    // working directory, as the document's own paths are); a bare name goes
    // into the starting folder.
    if (!dialog.fileName.empty()) {
        const QString proposed = PathToQt(dialog.fileName);
        box.selectFile(proposed.contains(QLatin1Char('/')) ? QFileInfo(proposed).absoluteFilePath() : proposed);
    }
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty()) return false;
    dialog.fileName = PathFromQt(box.selectedFiles().front());
    // With the details hidden, Qt hands back the filter as shown: its caption.
    const QString chosen = box.selectedNameFilter();
    for (std::size_t i = 0; i < dialog.filters.size(); ++i)
        if (chosen == filters[static_cast<qsizetype>(i)] || chosen == QString::fromUtf8(dialog.filters[i].caption)) {
            dialog.filterIndex = static_cast<int>(i) + 1;
            break;
        }
    return true;
}

void QtHost::ShowStatusText(std::string_view text) {
    window_.statusBar()->showMessage(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void QtHost::HandleEvents() { QCoreApplication::processEvents(); }

void QtHost::SetScreenCursor(std::int16_t cursor) {
    if (cursor == cursor_) return;
    if (cursor_ == crHourGlass) QApplication::restoreOverrideCursor();
    if (cursor == crHourGlass) QApplication::setOverrideCursor(Qt::WaitCursor);
    cursor_ = cursor;
}

void QtHost::BringToTop() {
    if (window_.isMinimized()) window_.showNormal();
    window_.raise();
    window_.activateWindow();
}

}  // namespace zvek
