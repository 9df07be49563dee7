#include "app/Main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "app/Icons.h"
#include "app/Settings.h"

namespace zvek {

TFormMain::TFormMain(std::vector<std::string> arguments, QString settingsPath, QWidget* parent)
    : QMainWindow(parent), host_(*this), settingsPath_(std::move(settingsPath)) {
    setObjectName(QStringLiteral("FormMain"));
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"), QStringLiteral("sans-serif")});
    font.setPixelSize(12);
    setFont(font);
    setAcceptDrops(true);

    Edit = new LyricsEdit(this);
    Edit->setObjectName(QStringLiteral("Edit"));
    setCentralWidget(Edit);
    // The title marks unsaved changes.
    connect(Edit->document(), &QTextDocument::modificationChanged, this, &QWidget::setWindowModified);
    logic_ = std::make_unique<WindowController>(*this, host_, std::move(arguments),
                                                PathFromQt(QCoreApplication::applicationFilePath()));
    BuildMenus();
    BuildToolBar();
    Edit->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Edit, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu->popup(Edit->viewport()->mapToGlobal(pos)); });
    Edit->beforeShortcut = [this] { CheckMenu(); };
    Edit->setFocus();

    WindowSettings settings = ReadSettings(settingsPath_);
    const QScreen* screen = QGuiApplication::primaryScreen();
    logic_->ApplySettings(settings, screen ? screen->size().width() : 0, screen ? screen->size().height() : 0);
    move(settings.left, settings.top);
    resize(settings.width, settings.height);
}

QAction* TFormMain::NewAction(const MenuItem& item) {
    auto* action = new QAction(QString::fromUtf8(item.caption), this);
    action->setObjectName(QString::fromLatin1(item.name));
    action->setShortcut(QKeySequence(QString::fromLatin1(item.shortcut)));
    action->setCheckable(item.checkable);
    if (item.image != Image::None) action->setIcon(ToolIcon(item.image));
    connect(action, &QAction::triggered, this, [this, command = item.command] { logic_->Run(command); });
    return action;
}

QAction* TFormMain::Action(std::string_view name) const {
    return findChild<QAction*>(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
}

void TFormMain::BuildMenus() {
    menuBar()->setObjectName(QStringLiteral("MainMenu"));
    for (const Menu& m : Menus()) {
        auto* menu = new QMenu(QString::fromUtf8(m.caption), this);
        menu->setObjectName(QString::fromLatin1(m.name));
        if (m.onOpen != Command::None)
            connect(menu, &QMenu::aboutToShow, this, [this, command = m.onOpen] { logic_->Run(command); });
        for (const MenuItem& item : m.items) {
            if (!item.name) {
                menu->addSeparator();
                continue;
            }
            QAction* action = NewAction(item);
            action->setStatusTip(QString::fromUtf8(item.hint));
            menu->addAction(action);
        }
        if (m.place == MenuPlace::MenuBar) menuBar()->addMenu(menu);
        if (m.place == MenuPlace::Context) PopupMenu = menu;
    }

    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    QAction* stop = NewAction(StopControl());
    stop->setToolTip(QString::fromUtf8(StopControl().hint));
    addAction(stop);
    auto* button = new QToolButton(statusBar());
    button->setObjectName(QStringLiteral("BtnStop"));
    button->setDefaultAction(stop);
    button->hide();
    statusBar()->addPermanentWidget(button);
    stopButton_ = button;
}

void TFormMain::BuildToolBar() {
    QToolBar* bar = addToolBar(QString());
    bar->setObjectName(QString::fromLatin1(kToolBarName));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    bar->setIconSize(QSize(20, 20));
    for (const ToolButton& b : ToolBar()) {
        if (!b.name) {
            bar->addSeparator();
            continue;
        }
        auto* button = new QToolButton(bar);
        button->setObjectName(QString::fromLatin1(b.name));
        button->setIcon(ToolIcon(b.image));
        button->setAutoRaise(true);
        if (*b.hint) {
            button->setToolTip(QString::fromUtf8(b.hint));
            button->setStatusTip(QString::fromUtf8(b.hint));
            button->setCursor(Qt::PointingHandCursor);
        }
        if (b.menu) {
            button->setMenu(findChild<QMenu*>(QString::fromLatin1(b.menu)));
            button->setPopupMode(b.mode == ButtonMenu::Split ? QToolButton::MenuButtonPopup
                                                             : QToolButton::InstantPopup);
        }
        if (b.command != Command::None)
            connect(button, &QToolButton::clicked, this, [this, command = b.command] { logic_->Run(command); });
        bar->addWidget(button);
    }
}

// --- The view ---------------------------------------------------------------

void TFormMain::EnableItem(std::string_view name, bool enabled) { Action(name)->setEnabled(enabled); }
void TFormMain::CheckItem(std::string_view name, bool checked) { Action(name)->setChecked(checked); }
void TFormMain::ShowStopControl(bool shown) { stopButton_->setVisible(shown); }
void TFormMain::SetCaption(const std::string& caption) {
    // "[*]" marks where the modified mark goes; a doubled one is a name's own.
    QString title = PathToQt(caption);
    setWindowTitle(title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]")) + QStringLiteral("[*]"));
}

void TFormMain::Post(std::function<void()> call) {
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void TFormMain::SaveSettings(WindowSettings settings) {
    settings.left = x();
    settings.top = y();
    settings.width = width();
    settings.height = height();
    WriteSettings(settingsPath_, settings);
}

// --- Start, drop, close -----------------------------------------------------

void TFormMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (start_ != Start::Hidden) return;
    start_ = Start::Showing;
    // A window that is not painted soon (started minimised, say) still
    // opens its document.
    QTimer::singleShot(250, this, &TFormMain::StartOnce);
}

bool TFormMain::event(QEvent* event) {
    // While a command runs the status line shows its progress, not the hint
    // of whatever the pointer passes over.
    if (logic_ && logic_->Busy() && event->type() == QEvent::StatusTip) return true;
    const bool handled = QMainWindow::event(event);
    // Opening the document must not hold up the window's first paint.
    if (event->type() == QEvent::UpdateRequest && start_ == Start::Showing)
        QTimer::singleShot(0, this, &TFormMain::StartOnce);
    return handled;
}

void TFormMain::StartOnce() {
    if (start_ != Start::Showing) return;
    start_ = Start::Started;
    logic_->Start();
}

void TFormMain::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TFormMain::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.front().isLocalFile() && logic_->Drop(PathFromQt(urls.front().toLocalFile())))
        event->acceptProposedAction();
}

void TFormMain::closeEvent(QCloseEvent* event) { event->setAccepted(logic_->CloseRequested()); }

}  // namespace zvek
