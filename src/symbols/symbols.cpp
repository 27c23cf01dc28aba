#include "symbols.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QtMath>
#include <algorithm>
#include <map>

namespace {

// Glyphs are drawn on a 24 x 24 grid and scaled to the box they are painted in.
constexpr double kGrid = 24.0;
constexpr double kLine = 1.8;

QPainterPath stroked(const QPainterPath& path, double width = kLine) {
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(path).simplified();
}

QPainterPath line(QPointF from, QPointF to, double width = kLine) {
    QPainterPath path(from);
    path.lineTo(to);
    return stroked(path, width);
}

QPainterPath polyline(std::initializer_list<QPointF> points, double width = kLine) {
    QPainterPath path(*points.begin());
    for (auto point = points.begin() + 1; point != points.end(); ++point) {
        path.lineTo(*point);
    }
    return stroked(path, width);
}

QPainterPath disc(QPointF center, double radius) {
    QPainterPath path;
    path.addEllipse(center, radius, radius);
    return path;
}

QPainterPath roundedRect(const QRectF& rect, double radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

QPointF onCircle(QPointF center, double radius, double degrees) {
    const double radians = qDegreesToRadians(degrees);
    // Angles count counter-clockwise on screen, where y grows downwards.
    return center + QPointF(radius * std::cos(radians), -radius * std::sin(radians));
}

QPainterPath arc(QPointF center, double radius, double startDegrees, double sweepDegrees) {
    const QRectF bounds(center - QPointF(radius, radius), QSizeF(2 * radius, 2 * radius));
    QPainterPath path;
    path.arcMoveTo(bounds, startDegrees);
    path.arcTo(bounds, startDegrees, sweepDegrees);
    return path;
}

// A stroked arc ending in an arrowhead that points the way the arc runs.
QPainterPath arrowArc(QPointF center, double radius, double startDegrees, double sweepDegrees) {
    const double endDegrees = startDegrees + sweepDegrees;
    const QPointF end = onCircle(center, radius, endDegrees);
    const double radians = qDegreesToRadians(endDegrees);
    const double direction = sweepDegrees < 0 ? -1.0 : 1.0;
    const QPointF tangent = direction * QPointF(-std::sin(radians), -std::cos(radians));
    const QPointF normal(std::cos(radians), -std::sin(radians));
    QPainterPath head(end + tangent * 3.2);
    head.lineTo(end + normal * 3.2 - tangent * 0.6);
    head.lineTo(end - normal * 3.2 - tangent * 0.6);
    head.closeSubpath();
    // Stop the stroke a little short so its round cap does not poke out of the head.
    return stroked(arc(center, radius, startDegrees, sweepDegrees - direction * 8.0)).united(head);
}

QPainterPath star(QPointF center, double radius) {
    const double bulge = radius * 0.18;
    QPainterPath path(center + QPointF(0, -radius));
    path.quadTo(center + QPointF(bulge, -bulge), center + QPointF(radius, 0));
    path.quadTo(center + QPointF(bulge, bulge), center + QPointF(0, radius));
    path.quadTo(center + QPointF(-bulge, bulge), center + QPointF(-radius, 0));
    path.quadTo(center + QPointF(-bulge, -bulge), center + QPointF(0, -radius));
    path.closeSubpath();
    return path;
}

QPainterPath terminalPrompt() {
    return polyline({{6.5, 9}, {9.5, 12}, {6.5, 15}}).united(line({11.5, 15.5}, {16.5, 15.5}));
}

QPainterPath phone(bool island) {
    QPainterPath body = stroked(roundedRect({6.5, 2, 11, 20}, 2.6), 1.6);
    if (island) {
        body = body.united(roundedRect({10, 4, 4, 1.4}, 0.7));
    }
    return body;
}

QPainterPath gear() {
    constexpr int kTeeth = 8;
    constexpr double kRoot = 8.0;
    constexpr double kTip = 10.6;
    QPainterPath outline;
    for (int tooth = 0; tooth < kTeeth; ++tooth) {
        const double middle = tooth * 360.0 / kTeeth;
        const QPointF points[] = {
            onCircle({12, 12}, kRoot, middle - 14), onCircle({12, 12}, kTip, middle - 8),
            onCircle({12, 12}, kTip, middle + 8), onCircle({12, 12}, kRoot, middle + 14)};
        for (const QPointF& point : points) {
            if (outline.elementCount() == 0) {
                outline.moveTo(point);
            } else {
                outline.lineTo(point);
            }
        }
    }
    outline.closeSubpath();
    return outline.subtracted(disc({12, 12}, 3.6));
}

QPainterPath gauge() {
    QPainterPath path = stroked(disc({12, 12}, 10), 1.6);
    // Dots along the dial from lower left over the top to lower right; the needle at a third.
    for (int dot = 0; dot < 7; ++dot) {
        path = path.united(disc(onCircle({12, 13}, 6.8, 210.0 - dot * 40.0), 0.9));
    }
    const double needle = 210.0 - 0.33 * 240.0;
    return path.united(line({12, 13}, onCircle({12, 13}, 6.0, needle), 1.9))
        .united(disc({12, 13}, 2.0));
}

QPainterPath qrCode() {
    QPainterPath path;
    for (const QPointF corner : {QPointF(3, 3), QPointF(14, 3), QPointF(3, 14)}) {
        path = path.united(stroked(roundedRect({corner, QSizeF(7, 7)}, 1.2), 1.6));
        path = path.united(roundedRect({corner + QPointF(2.3, 2.3), QSizeF(2.4, 2.4)}, 0.4));
    }
    for (const QPointF module : {QPointF(14, 14), QPointF(18.5, 14), QPointF(16.2, 16.5),
                                 QPointF(14, 18.5), QPointF(18.5, 18.5)}) {
        path = path.united(roundedRect({module, QSizeF(2.6, 2.6)}, 0.4));
    }
    return path;
}

QPainterPath radioWaves() {
    QPainterPath path = disc({12, 12}, 2.2);
    for (const double radius : {5.5, 9.5}) {
        path = path.united(stroked(arc({12, 12}, radius, -40, 80)));
        path = path.united(stroked(arc({12, 12}, radius, 140, 80)));
    }
    return path;
}

QPainterPath hourglass() {
    QPainterPath sand({7, 4.5});
    sand.lineTo(17, 4.5);
    sand.lineTo(12.8, 12);
    sand.lineTo(17, 19.5);
    sand.lineTo(7, 19.5);
    sand.lineTo(11.2, 12);
    sand.closeSubpath();
    return sand.united(line({5, 3}, {19, 3})).united(line({5, 21}, {19, 21}));
}

// A triangle with its corners rounded by a round-joined stroke around it.
QPainterPath warningTriangle() {
    QPainterPath triangle({12, 4});
    triangle.lineTo(21, 19.5);
    triangle.lineTo(3, 19.5);
    triangle.closeSubpath();
    return triangle.united(stroked(triangle, 2.4));
}

QPainterPath cloud() {
    return disc({8, 14}, 4.5)
        .united(disc({13, 10.5}, 6))
        .united(disc({17.8, 14.5}, 4))
        .united(roundedRect({8, 12, 9.8, 6.5}, 0.5));
}

std::map<QString, QPainterPath> makeGlyphs() {
    const QPainterPath terminalFrame = roundedRect({2, 4, 20, 16}, 3.2);
    const QPainterPath slash = line({3, 2.5}, {21, 21.5}, 1.6);
    std::map<QString, QPainterPath> glyphs{
        {QStringLiteral("arrow.clockwise"), arrowArc({12, 13}, 7.5, 50, -320)},
        {QStringLiteral("arrow.triangle.2.circlepath"),
         arrowArc({12, 12}, 8, 160, -135).united(arrowArc({12, 12}, 8, -20, -135))},
        {QStringLiteral("chart.xyaxis.line"),
         polyline({{3.5, 3}, {3.5, 20.5}, {21, 20.5}})
             .united(polyline({{7, 16}, {11, 11}, {14, 13.5}, {19.5, 6.5}}))},
        {QStringLiteral("checkmark.circle.fill"),
         disc({12, 12}, 10.5).subtracted(polyline({{7.2, 12.4}, {10.6, 15.8}, {16.8, 8.6}}, 2.3))},
        {QStringLiteral("dot.radiowaves.left.and.right"), radioWaves()},
        {QStringLiteral("exclamationmark.triangle.fill"),
         warningTriangle()
             .subtracted(line({12, 9}, {12, 13.8}, 2.2))
             .subtracted(disc({12, 16.9}, 1.3))},
        {QStringLiteral("gauge.with.dots.needle.33percent"), gauge()},
        {QStringLiteral("gearshape"), gear()},
        {QStringLiteral("hourglass"), hourglass()},
        {QStringLiteral("icloud.fill"), cloud()},
        {QStringLiteral("iphone.gen3"), phone(true)},
        {QStringLiteral("iphone.slash"),
         phone(false).subtracted(line({3, 2.5}, {21, 21.5}, 4.4)).united(slash)},
        {QStringLiteral("magnifyingglass"),
         stroked(disc({10, 10}, 6.5), 2.0).united(line({14.8, 14.8}, {20.5, 20.5}, 2.6))},
        {QStringLiteral("power"),
         stroked(arc({12, 13}, 8, 120, 300), 2.0).united(line({12, 3}, {12, 11.5}, 2.0))},
        {QStringLiteral("qrcode"), qrCode()},
        {QStringLiteral("rectangle.3.group"),
         stroked(roundedRect({2.5, 4, 8.5, 16}, 2), 1.6)
             .united(stroked(roundedRect({13, 4, 8.5, 7}, 2), 1.6))
             .united(stroked(roundedRect({13, 13, 8.5, 7}, 2), 1.6))},
        {QStringLiteral("sparkles"),
         star({9.5, 14}, 8).united(star({18.5, 5.5}, 3.5)).united(star({19, 17.5}, 2.5))},
        {QStringLiteral("terminal"), stroked(terminalFrame, 1.6).united(terminalPrompt())},
        {QStringLiteral("terminal.fill"), terminalFrame.subtracted(terminalPrompt())},
    };
    QPainterPath circleDots;
    for (int dot = 0; dot < 12; ++dot) {
        circleDots = circleDots.united(disc(onCircle({12, 12}, 9, dot * 30.0), 1.15));
    }
    glyphs.emplace(QStringLiteral("circle.dotted"), circleDots);
    return glyphs;
}

const std::map<QString, QPainterPath>& glyphs() {
    static const std::map<QString, QPainterPath> table = makeGlyphs();
    return table;
}

const QPainterPath* glyph(QStringView name) {
    const auto& table = glyphs();
    const auto found = table.find(name.toString());
    return found == table.end() ? nullptr : &found->second;
}

// Draws the glyph afresh at every size and scale, so tray and toolbar icons stay sharp.
class SymbolIconEngine final : public QIconEngine {
public:
    SymbolIconEngine(QString name, QColor color) : m_name(std::move(name)), m_color(color) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        QColor color = m_color;
        if (mode == QIcon::Disabled) {
            color.setAlphaF(color.alphaF() * 0.4f);
        }
        Symbols::paint(*painter, m_name, rect, color);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        image.setDevicePixelRatio(scale);
        QPainter painter(&image);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        painter.end();
        return QPixmap::fromImage(std::move(image));
    }

    QIconEngine* clone() const override { return new SymbolIconEngine(m_name, m_color); }
    QString key() const override { return QStringLiteral("QuotamindSymbol"); }
    bool isNull() override { return !Symbols::contains(m_name); }

private:
    QString m_name;
    QColor m_color;
};

}  // namespace

bool Symbols::contains(QStringView name) {
    return glyph(name) != nullptr;
}

QStringList Symbols::names() {
    QStringList names;
    for (const auto& entry : glyphs()) {
        names << entry.first;
    }
    return names;
}

void Symbols::paint(QPainter& painter, QStringView name, const QRectF& box, const QColor& color) {
    const QPainterPath* path = glyph(name);
    if (path == nullptr || box.isEmpty()) {
        return;
    }
    const double side = std::min(box.width(), box.height());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.translate(box.center() - QPointF(side, side) / 2);
    painter.scale(side / kGrid, side / kGrid);
    painter.drawPath(*path);
    painter.restore();
}

QImage Symbols::image(QStringView name, QSize pixelSize, qreal devicePixelRatio,
                      const QColor& color) {
    QImage image(pixelSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(devicePixelRatio);
    QPainter painter(&image);
    paint(painter, name, QRectF(QPointF(0, 0), QSizeF(pixelSize) / devicePixelRatio), color);
    return image;
}

QIcon Symbols::icon(QStringView name, const QColor& color) {
    return QIcon(new SymbolIconEngine(name.toString(), color));
}

QString Symbols::forProvider(QStringView providerRawValue) {
    if (providerRawValue == u"codex") {
        return QStringLiteral("terminal.fill");
    }
    if (providerRawValue == u"claude") {
        return QStringLiteral("sparkles");
    }
    return QStringLiteral("gauge.with.dots.needle.33percent");
}
