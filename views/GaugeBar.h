#pragma once

// The progress bars of the analyser window. Long walks report every entry they pass; the bar
// keeps the position but touches the widget only when the filled part would change by a pixel,
// so a million reports cost a few dozen repaints.

#include "analysis/Progress.h"

#include <QProgressBar>

namespace views {

class TGaugeBar : public QProgressBar, public analysis::TProgressBar {
    Q_OBJECT
public:
    explicit TGaugeBar(QWidget* parent = nullptr);

    void SetMax(int maximum) override;
    void SetPosition(int position) override;
    int Position() const { return position_; }
    int Max() const { return max_; }
    // How often the shown position changed since the last SetMax (for measurements).
    int ShownChanges() const { return shownChanges_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int pixelsFor(int position) const;
    void paintPosition(int position);

    int position_ = 0;
    int max_ = 100;
    int shownPixels_ = -1;
    int low_ = 0; // positions in [low_, high_) paint like the one shown
    int high_ = 0;
    int shownChanges_ = 0;
};

} // namespace views
