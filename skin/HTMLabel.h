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

// The program's Tahoma (Wine's) reports a line spacing smaller than its glyphs: lines of
// formatted text touch, and the dots of a capital umlaut are cut off at a label's top edge.
// Gives every formatted label below `window` a fixed line height of 1.25 times its font's pixel
// size. Call it once the texts are final (after the window's translation).
void SpaceFormattedLines(QWidget* window);

} // namespace skin
