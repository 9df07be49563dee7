#include "app/Icons.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>
#include <map>
#include <tuple>

namespace zvek {

namespace {

// Names in the desktop's icon theme, in the order of Image.
constexpr const char* kThemeNames[] = {
    "",           "document-open", "document-save-as",     "edit-undo", "edit-cut", "edit-copy",
    "edit-paste", "view-refresh",  "internet-web-browser", "edit-find", "go-home",  "help-contents"};

void Page(QPainter& p, const QRectF& r) {
    p.setBrush(Qt::white);
    p.drawRect(r);
    for (qreal y = r.top() + 3; y < r.bottom() - 1; y += 2.5)
        p.drawLine(QPointF(r.left() + 2, y), QPointF(r.right() - 2, y));
}

void Arrow(QPainter& p, QPointF tip, qreal dx) {
    p.drawPolygon(QPolygonF({tip, tip + QPointF(-dx, -3), tip + QPointF(-dx, 3)}));
}

// Drawn on a 16 x 16 grid, scaled to the pixmap.
void Draw(QPainter& p, Image image) {
    const QPen outline(QColor(60, 60, 60), 1);
    p.setPen(outline);
    switch (image) {
    case Image::None:
        break;
    case Image::Open:
        p.setBrush(QColor(240, 200, 80));
        p.drawPolygon(QPolygonF({{1, 4}, {6, 4}, {7.5, 5.5}, {14, 5.5}, {14, 13.5}, {1, 13.5}}));
        p.setBrush(QColor(250, 225, 120));
        p.drawPolygon(QPolygonF({{3, 7.5}, {15.5, 7.5}, {14, 13.5}, {1, 13.5}}));
        break;
    case Image::SaveAs:
        p.setBrush(QColor(70, 110, 190));
        p.drawRect(QRectF(1.5, 1.5, 13, 13));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4, 2, 8, 5));
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(QRectF(4.5, 9.5, 7, 5));
        break;
    case Image::Undo: {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(40, 100, 180), 2));
        QPainterPath path(QPointF(5, 6));
        path.cubicTo(QPointF(12, 3), QPointF(16, 11), QPointF(8, 13.5));
        p.drawPath(path);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 100, 180));
        p.drawPolygon(QPolygonF({{1, 6.5}, {6.5, 2}, {6.5, 10}}));
        break;
    }
    case Image::Cut:
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(60, 60, 60), 1.5));
        p.drawLine(QPointF(4, 1), QPointF(11, 10));
        p.drawLine(QPointF(12, 1), QPointF(5, 10));
        p.setPen(QPen(QColor(200, 40, 40), 1.5));
        p.drawEllipse(QPointF(4, 12.5), 2.5, 2.5);
        p.drawEllipse(QPointF(12, 12.5), 2.5, 2.5);
        break;
    case Image::Copy:
        Page(p, QRectF(1.5, 1.5, 8, 10));
        Page(p, QRectF(6.5, 4.5, 8, 10));
        break;
    case Image::Paste:
        p.setBrush(QColor(180, 130, 70));
        p.drawRect(QRectF(1.5, 2.5, 10, 12));
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(QRectF(4, 1, 5, 3));
        Page(p, QRectF(6.5, 6.5, 8, 8.5));
        break;
    case Image::Convert:
        p.setPen(QPen(QColor(40, 150, 60), 2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(3, 3, 10, 10), 30 * 16, 150 * 16);
        p.drawArc(QRectF(3, 3, 10, 10), 210 * 16, 150 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 150, 60));
        Arrow(p, QPointF(15, 5.5), 4);
        Arrow(p, QPointF(1, 10.5), -4);
        break;
    case Image::ConvertFromIE:
        // A web page's globe with the convert arrow beside it.
        p.setBrush(QColor(120, 170, 230));
        p.drawEllipse(QPointF(6.5, 6.5), 5.5, 5.5);
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(6.5, 6.5), 2.2, 5.5);
        p.drawLine(QPointF(1, 6.5), QPointF(12, 6.5));
        p.setPen(QPen(QColor(40, 150, 60), 2));
        p.drawArc(QRectF(8, 8, 7, 7), 200 * 16, 200 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 150, 60));
        Arrow(p, QPointF(8, 13), -3);
        break;
    case Image::FindLyrics:
        p.setBrush(QColor(220, 235, 250));
        p.setPen(QPen(QColor(60, 60, 60), 1.5));
        p.drawEllipse(QPointF(6.5, 6.5), 4.5, 4.5);
        p.setPen(QPen(QColor(120, 80, 40), 2.5));
        p.drawLine(QPointF(10, 10), QPointF(14.5, 14.5));
        break;
    case Image::HomePage:
        p.setBrush(QColor(200, 60, 50));
        p.drawPolygon(QPolygonF({{8, 1}, {15, 8}, {1, 8}}));
        p.setBrush(QColor(245, 235, 210));
        p.drawRect(QRectF(3, 8, 10, 6.5));
        p.setBrush(QColor(130, 90, 50));
        p.drawRect(QRectF(6.5, 10, 3, 4.5));
        break;
    case Image::Help: {
        p.setBrush(QColor(50, 110, 200));
        p.drawEllipse(QPointF(8, 8), 7, 7);
        p.setPen(Qt::white);
        QFont font = p.font();
        font.setBold(true);
        font.setPixelSize(12);
        p.setFont(font);
        p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    }
}

// Our pictures are drawn when first shown, at the size shown, so that the
// window does not spend its start-up on images nobody has looked at yet.
class DrawnIconEngine : public QIconEngine {
public:
    explicit DrawnIconEngine(Image image) : image_(image) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        QPixmap& cached = cache_[{size.width(), size.height(), mode}];
        if (!cached.isNull()) return cached;
        QPixmap picture(size);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size.width() / 16.0, size.height() / 16.0);
        Draw(painter, image_);
        painter.end();
        if (mode != QIcon::Normal) {
            QStyleOption option;
            picture = QApplication::style()->generatedIconPixmap(mode, picture, &option);
        }
        cached = picture;
        return cached;
    }

    QIconEngine* clone() const override { return new DrawnIconEngine(image_); }

private:
    Image image_;
    std::map<std::tuple<int, int, QIcon::Mode>, QPixmap> cache_;
};

}  // namespace

QIcon ToolIcon(Image image) {
    // "hicolor" is only the fallback theme, which holds program icons, not
    // these; looking there would cost the start-up a search for nothing.
    if (QIcon::themeName() != QLatin1String("hicolor")) {
        const QString name = QString::fromLatin1(kThemeNames[static_cast<int>(image)]);
        if (QIcon::hasThemeIcon(name)) return QIcon::fromTheme(name);
    }
    return QIcon(new DrawnIconEngine(image));
}

}  // namespace zvek
