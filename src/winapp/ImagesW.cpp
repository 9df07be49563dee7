#include "winapp/ImagesW.h"

#include <initializer_list>
#include <vector>

#include "window/Controls.h"

namespace zvek {

namespace {

// What stays transparent.
constexpr COLORREF kMask = RGB(255, 0, 255);

// Drawing on a 16 x 16 grid, scaled to the picture.
class Pen16 {
public:
    Pen16(HDC dc, int size) : dc_(dc), size_(size) {}
    int S(double v) const { return static_cast<int>(v * size_ / 16.0 + 0.5); }
    void Colors(COLORREF line, COLORREF fill, int width = 1) {
        Reset();
        pen_ = CreatePen(PS_SOLID, S(width), line);
        brush_ = fill == CLR_NONE ? static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)) : CreateSolidBrush(fill);
        SelectObject(dc_, pen_);
        SelectObject(dc_, brush_);
    }
    void Rect(double l, double t, double r, double b) { Rectangle(dc_, S(l), S(t), S(r), S(b)); }
    void Circle(double l, double t, double r, double b) { Ellipse(dc_, S(l), S(t), S(r), S(b)); }
    void Line(double x1, double y1, double x2, double y2) {
        MoveToEx(dc_, S(x1), S(y1), nullptr);
        LineTo(dc_, S(x2), S(y2));
    }
    void Poly(std::initializer_list<POINT> points) {
        std::vector<POINT> scaled;
        for (POINT p : points) scaled.push_back({S(p.x), S(p.y)});
        Polygon(dc_, scaled.data(), static_cast<int>(scaled.size()));
    }
    void Page(double l, double t, double r, double b) {
        Colors(RGB(60, 60, 60), RGB(255, 255, 255));
        Rect(l, t, r, b);
        for (double y = t + 3; y < b - 1; y += 2.5) Line(l + 2, y, r - 2, y);
    }
    ~Pen16() { Reset(); }

private:
    void Reset() {
        SelectObject(dc_, GetStockObject(BLACK_PEN));
        SelectObject(dc_, GetStockObject(NULL_BRUSH));
        if (pen_) DeleteObject(pen_);
        if (brush_) DeleteObject(brush_);
        pen_ = nullptr;
        brush_ = nullptr;
    }
    HDC dc_;
    int size_;
    HPEN pen_ = nullptr;
    HBRUSH brush_ = nullptr;
};

void Draw(Pen16& p, Image image) {
    const COLORREF outline = RGB(60, 60, 60), blue = RGB(40, 100, 180);
    switch (image) {
    case Image::None:
        break;
    case Image::Open:
        p.Colors(outline, RGB(240, 200, 80));
        p.Poly({{1, 4}, {6, 4}, {7, 5}, {14, 5}, {14, 14}, {1, 14}});
        p.Colors(outline, RGB(250, 225, 120));
        p.Poly({{3, 8}, {15, 8}, {14, 14}, {1, 14}});
        break;
    case Image::SaveAs:
        p.Colors(outline, RGB(70, 110, 190));
        p.Rect(1, 1, 15, 15);
        p.Colors(outline, RGB(255, 255, 255));
        p.Rect(4, 2, 12, 7);
        p.Colors(outline, RGB(200, 200, 200));
        p.Rect(4, 10, 12, 15);
        break;
    case Image::Undo:
        p.Colors(blue, CLR_NONE, 2);
        p.Line(5, 6, 11, 6);
        p.Line(11, 6, 13, 9);
        p.Line(13, 9, 11, 13);
        p.Line(11, 13, 7, 13);
        p.Colors(blue, blue);
        p.Poly({{1, 6}, {6, 2}, {6, 10}});
        break;
    case Image::Cut:
        p.Colors(outline, CLR_NONE, 1);
        p.Line(4, 1, 11, 10);
        p.Line(12, 1, 5, 10);
        p.Colors(RGB(200, 40, 40), CLR_NONE, 1);
        p.Circle(1, 9, 7, 15);
        p.Circle(9, 9, 15, 15);
        break;
    case Image::Copy:
        p.Page(1, 1, 10, 12);
        p.Page(6, 4, 15, 15);
        break;
    case Image::Paste:
        p.Colors(outline, RGB(190, 140, 80));
        p.Rect(1, 2, 12, 15);
        p.Colors(outline, RGB(200, 200, 200));
        p.Rect(4, 1, 9, 4);
        p.Page(7, 6, 15, 15);
        break;
    case Image::Convert:
        p.Colors(RGB(30, 140, 60), RGB(30, 140, 60));
        p.Poly({{1, 4}, {10, 4}, {10, 1}, {15, 5}, {10, 9}, {10, 6}, {1, 6}});
        p.Colors(blue, blue);
        p.Poly({{15, 10}, {6, 10}, {6, 7}, {1, 11}, {6, 15}, {6, 12}, {15, 12}});
        break;
    case Image::ConvertFromIE:
        p.Colors(blue, RGB(170, 210, 250));
        p.Circle(1, 1, 15, 15);
        p.Colors(blue, CLR_NONE);
        p.Circle(5, 1, 11, 15);
        p.Line(1, 8, 15, 8);
        break;
    case Image::FindLyrics:
        p.Colors(outline, RGB(200, 230, 250), 2);
        p.Circle(1, 1, 11, 11);
        p.Colors(RGB(120, 80, 40), CLR_NONE, 3);
        p.Line(10, 10, 15, 15);
        break;
    case Image::HomePage:
        p.Colors(outline, RGB(200, 60, 50));
        p.Poly({{8, 1}, {15, 8}, {1, 8}});
        p.Colors(outline, RGB(240, 230, 200));
        p.Rect(3, 8, 13, 15);
        p.Colors(outline, RGB(120, 80, 40));
        p.Rect(7, 10, 10, 15);
        break;
    case Image::Help:
        p.Colors(blue, blue);
        p.Circle(1, 1, 15, 15);
        p.Colors(RGB(255, 255, 255), CLR_NONE, 2);
        p.Line(6, 5, 8, 4);
        p.Line(8, 4, 10, 6);
        p.Line(10, 6, 8, 9);
        p.Line(8, 9, 8, 10);
        p.Line(8, 12, 8, 13);
        break;
    }
}

// The picture on a mask-coloured ground.
void Paint(HDC dc, Image image, int size) {
    const RECT all{0, 0, size, size};
    const HBRUSH mask = CreateSolidBrush(kMask);
    FillRect(dc, &all, mask);
    DeleteObject(mask);
    Pen16 pen(dc, size);
    Draw(pen, image);
}

}  // namespace

HIMAGELIST ToolImages(int size) {
    constexpr int kCount = static_cast<int>(Image::Help);
    const HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, kCount, 0);
    const HDC screen = GetDC(nullptr);
    const HDC dc = CreateCompatibleDC(screen);
    for (int i = 1; i <= kCount; ++i) {
        const HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
        const HGDIOBJ old = SelectObject(dc, bitmap);
        Paint(dc, static_cast<Image>(i), size);
        SelectObject(dc, old);
        ImageList_AddMasked(list, bitmap, kMask);
        DeleteObject(bitmap);
    }
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return list;
}

}  // namespace zvek
