#pragma once

#include <QAbstractButton>
#include <QString>
#include <QWidget>

class QTimer;

// A round 26 × 26 header button of the popup: a symbol on a faint circle (7 % fill, 8 %
// outline in the text colour). While busy it shows a turning activity indicator instead, and
// the caller disables it.
class TrayPopupButton final : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int kSide = 26;

    TrayPopupButton(QString symbol, const QString& toolTip, const QString& accessibleName,
                    QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(TrayPopupButton)

    bool isBusy() const { return m_busy; }
    void setBusy(bool busy);

    QSize sizeHint() const override { return {kSide, kSide}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void updateSpinner();

    QString m_symbol;
    bool m_busy = false;
    int m_spinnerPhase = 0;
    QTimer* m_spinnerTimer;
};

// Whether a phone is paired: a check mark in the text colour, or a crossed-out phone in the
// secondary colour, with the matching tool tip and accessible name.
class SyncStatusIcon final : public QWidget {
    Q_OBJECT

public:
    explicit SyncStatusIcon(QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(SyncStatusIcon)

    bool isPhonePaired() const { return m_paired; }
    void setPhonePaired(bool paired);

    QSize sizeHint() const override { return {TrayPopupButton::kSide, TrayPopupButton::kSide}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_paired = false;
};
