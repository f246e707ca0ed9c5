// TStatusBar: one line of simple text drawn along the foot of the window.
#include "app/StatusBar.h"

#include <QPainter>
#include <QWidget>

namespace app {

// Draws the text elided to its width, so that a long text never widens the window.
class TStatusBar::Line : public QWidget {
public:
    explicit Line(QWidget* parent)
        : QWidget(parent)
    {
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        setFixedHeight(fontMetrics().height() + 2);
    }

    void setText(const QString& text)
    {
        shown_ = text;
        for (QChar& c : shown_)
            if (c.unicode() < 32)
                c = QLatin1Char(' ');
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setPen(palette().color(QPalette::WindowText));
        const QRect area = rect().adjusted(2, 0, -2, 0);
        p.drawText(
            area, Qt::AlignLeft | Qt::AlignVCenter, fontMetrics().elidedText(shown_, Qt::ElideRight, area.width()));
    }

private:
    QString shown_;
};

TStatusBar::TStatusBar(QWidget* parent)
    : QStatusBar(parent)
    , line_(new Line(this))
{
    setSizeGripEnabled(true);
    addWidget(line_, 1);
}

void TStatusBar::SetSimpleText(const QString& text)
{
    FSimpleText = text;
    line_->setText(text);
}

} // namespace app
