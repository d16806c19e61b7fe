#pragma once

// The formatted label of the windows: simple HTML (bold, line breaks, paragraphs with an
// alignment, links), word-wrapped, drawn on its parent's background. A click on a link reports
// the link's target.

#include <QLabel>

#include <functional>

namespace skin {

class THTMLabel : public QLabel {
    Q_OBJECT
public:
    explicit THTMLabel(QWidget* parent = nullptr);

    QString HTMLText() const { return text(); }
    void SetHTMLText(const QString& html) { setText(html); }

    std::function<void(const QString& href)> OnAnchorClick;
};

} // namespace skin
