#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

#include "model/agent_provider.h"

class QLabel;
class QPushButton;
class QTimer;

// The main window's look, shared by its panes. Sizes are device-independent pixels; the type
// scale follows the limit meter card's (headline 13, callout 12, caption 10, title 22), plus
// title 2 at 17 and the large title at 26.
namespace paneStyle {

// The card base colour, also the limit pane's background and its top bar.
QColor cardBase();
// Behind the signed-out view.
QColor signedOutBackground();
QColor green();
QColor white(double opacity);
QColor black(double opacity);

enum class Type { LargeTitle, Title, Title2, Headline, Subheadline, Callout, Caption };
QFont font(Type type, QFont::Weight weight = QFont::Normal);

// "Codex", "Claude", or the raw value of any other provider.
QString displayName(const AgentProvider& provider);

// A label in `font` and `color` (which may be translucent) on a transparent background.
QLabel* label(const QString& text, const QFont& font, const QColor& color,
              QWidget* parent = nullptr);
// The same label wrapped within `maximumWidth`, its lines centred.
QLabel* paragraph(const QString& text, const QFont& font, const QColor& color, int maximumWidth,
                  QWidget* parent = nullptr);

// Whether `widget` has the focus and the user moves it with the keyboard, the time to draw a focus
// ring.
bool showsKeyboardFocus(const QWidget& widget);

enum class ButtonRole { Prominent, Bordered, Destructive };
// A push button in the panes' style, reachable with Tab, named for screen readers by its text.
QPushButton* button(const QString& text, ButtonRole role, QWidget* parent = nullptr);

}  // namespace paneStyle

// One symbol of the Symbols registry, centred in the widget. Decorative unless it is given an
// accessible name.
class SymbolView final : public QWidget {
    Q_OBJECT

public:
    SymbolView(QString name, int size, QColor color, QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(SymbolView)

    void setSymbol(const QString& name, const QColor& color);
    const QString& symbol() const { return m_name; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_name;
    QColor m_color;
};

// A small spinning indicator; it only ticks while it is shown.
class ActivityIndicator final : public QWidget {
    Q_OBJECT

public:
    ActivityIndicator(int size, QColor color, QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(ActivityIndicator)

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QColor m_color;
    QTimer* m_timer;
    int m_phase = 0;
};
