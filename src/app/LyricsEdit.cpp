#include "app/LyricsEdit.h"

#include <QKeyEvent>
#include <QMimeData>

namespace zvek {

namespace {

constexpr int kLeftMargin = 8;

// Ctrl+Z, X, C, V and A belong to the window's Edit menu.
bool IsMenuShortcut(const QKeyEvent& key) {
    if (key.modifiers() != Qt::ControlModifier) return false;
    switch (key.key()) {
    case Qt::Key_Z: case Qt::Key_X: case Qt::Key_C: case Qt::Key_V: case Qt::Key_A: return true;
    default: return false;
    }
}

}  // namespace

LyricsEdit::LyricsEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP"),
                      QStringLiteral("monospace")});
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
