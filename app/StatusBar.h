// TStatusBar: the window's status line, one simple text drawn on one line.
#pragma once

#include <QStatusBar>
#include <QString>

namespace app {

class TStatusBar : public QStatusBar {
public:
    explicit TStatusBar(QWidget* parent);

    QString SimpleText() const { return FSimpleText; }
    // Takes the text exactly; line ends and other control characters are drawn as blanks.
    void SetSimpleText(const QString& text);

private:
    class Line;
    Line* line_;
    QString FSimpleText;
};

} // namespace app
