#include "app/LyricsEdit.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>

namespace zvek {

namespace {

constexpr int kLeftMargin = 8;

// Ctrl+Z, X, C, V and A belong to the window's Edit menu.
bool IsMenuShortcut(const QKeyEvent& key) {
    if (key.modifiers() != Qt::ControlModifier) return false;
    switch (key.key()) {
    case Qt::Key_Z:
    case Qt::Key_X:
    case Qt::Key_C:
    case Qt::Key_V:
    case Qt::Key_A:
        return true;
    default:
        return false;
    }
}

}  // namespace

LyricsEdit::LyricsEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic"),
                      QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("monospace")});
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(16);
    setFont(font);
    // The margin strip belongs to the editor, so it takes the text's background.
    document()->setDocumentMargin(2);
    setViewportMargins(kLeftMargin - 2, 0, 0, 0);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    // Setting up the document is no edit of the user's.
    document()->setModified(false);
}

std::u16string LyricsEdit::Text() const {
    // Raw text keeps every character as typed; blocks are separated by
    // U+2029, and a U+2028 inside a block breaks the line as well.
    const QString raw = document()->toRawText();
    std::u16string text(reinterpret_cast<const char16_t*>(raw.utf16()), static_cast<std::size_t>(raw.size()));
    for (char16_t& c : text)
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator) c = u'\n';
    return text;
}

std::pair<std::size_t, std::size_t> LyricsEdit::Selection() const {
    const QTextCursor cursor = textCursor();
    return {static_cast<std::size_t>(cursor.anchor()), static_cast<std::size_t>(cursor.position())};
}

void LyricsEdit::Select(std::size_t anchor, std::size_t caret) {
    QTextCursor cursor(document());
    cursor.setPosition(static_cast<int>(anchor));
    cursor.setPosition(static_cast<int>(caret), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

void LyricsEdit::SetText(std::u16string_view text, bool freshUndo) {
    const QString qtext(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
    if (freshUndo) return setPlainText(qtext);
    QTextCursor all(document());
    all.select(QTextCursor::Document);
    all.insertText(qtext);
}

void LyricsEdit::ShowLine(int line) {
    const QTextBlock block = document()->findBlockByNumber(line);
    if (!block.isValid()) return;
    setTextCursor(QTextCursor(block));
    ensureCursorVisible();
}

bool LyricsEdit::CanPaste() const {
    const QMimeData* clipboard = QGuiApplication::clipboard()->mimeData();
    return clipboard && clipboard->hasText();
}

bool LyricsEdit::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride && IsMenuShortcut(*static_cast<QKeyEvent*>(event))) {
        if (beforeShortcut) beforeShortcut();
        event->ignore();
        return true;
    }
    return QPlainTextEdit::event(event);
}

void LyricsEdit::keyPressEvent(QKeyEvent* event) {
    // Shift+Return would put a line separator inside a line; every line
    // break in the lyrics is an ordinary one.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() & Qt::ShiftModifier) {
        QKeyEvent plain(event->type(), event->key(), event->modifiers() & ~Qt::ShiftModifier, event->text());
        QPlainTextEdit::keyPressEvent(&plain);
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

bool LyricsEdit::canInsertFromMimeData(const QMimeData* source) const {
    return !source->hasUrls() && QPlainTextEdit::canInsertFromMimeData(source);
}

}  // namespace zvek
