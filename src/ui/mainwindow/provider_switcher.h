#pragma once

#include <QAbstractButton>
#include <QRectF>
#include <QWidget>
#include <vector>

#include "model/agent_provider.h"

class QVariantAnimation;

// The capsule segmented control that picks the agent the limit pane shows: always Codex, then
// Claude. A translucent indicator capsule marks the selected segment and glides to the next one
// when the selection changes. For screen readers the control is one container named "Agent" whose
// segments are checkable buttons; the selected one is checked.
class ProviderSwitcher final : public QWidget {
    Q_OBJECT

public:
    explicit ProviderSwitcher(QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(ProviderSwitcher)

    const AgentProvider& selection() const { return m_selection; }
    // Moves the indicator (animated while the control is shown); emits selectionChanged when the
    // selection changes.
    void setSelection(const AgentProvider& provider);

Q_SIGNALS:
    void selectionChanged(const AgentProvider& provider);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QRectF segmentRect(const AgentProvider& provider) const;

    AgentProvider m_selection = AgentProvider::codex();
    std::vector<std::pair<AgentProvider, QAbstractButton*>> m_segments;
    QRectF m_indicator;
    QVariantAnimation* m_glide;
};
