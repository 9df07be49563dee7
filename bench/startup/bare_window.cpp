// The least a Qt Widgets window of our shape costs to start: the yardstick the
// start-up measurement compares the real program against.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("ZVEK Lyrics Converter"));
    window.setCentralWidget(new QPlainTextEdit(&window));
    QMenu* file = window.menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("E&xit"), &window, &QWidget::close);
    window.statusBar();
    window.resize(480, 350);
    window.show();
    return app.exec();
}
