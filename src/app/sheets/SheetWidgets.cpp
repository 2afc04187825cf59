#include "app/sheets/SheetWidgets.h"

#include "app/SymbolIcons.h"

#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QTextLayout>

namespace halvora {

SymbolLabel::SymbolLabel(const QString &symbolName, const QString &text, FontRole font,
                         std::optional<QColor> colour, QWidget *parent)
    : QWidget(parent), symbolName_(symbolName), colour_(colour), text_(new QLabel(text, this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    text_->setFont(roleFont(font));
    if (colour) {
        QPalette palette = text_->palette();
        palette.setColor(QPalette::WindowText, *colour);
        text_->setPalette(palette);
    }
    // The symbol follows the text's size, as an inline pictogram would.
    auto *icon = new QLabel(this);
    const int side = QFontMetrics(text_->font()).height();
    icon->setPixmap(symbolIcon(symbolName, colour).pixmap(side, side));
    icon->setFixedSize(side, side);

    layout->addWidget(icon);
    layout->addWidget(text_);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
}

QString SymbolLabel::text() const
{
    return text_->text();
}

ElidedLabel::ElidedLabel(const QString &text, int maximumLines, QWidget *parent)
    : QWidget(parent), text_(text), maximumLines_(std::max(1, maximumLines))
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setToolTip(maximumLines_ == 1 ? text : QString());
}

QSize ElidedLabel::sizeHint() const
{
    // Room for every allowed line, so that rows of one table keep one height.
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text_), metrics.lineSpacing() * maximumLines_};
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {0, QFontMetrics(font()).lineSpacing()};
}

void ElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics metrics(font());
    const int width = contentsRect().width();
    const int lines = std::min(maximumLines_, std::max(1, height() / metrics.lineSpacing()));

    QTextLayout layout(text_, font());
    layout.beginLayout();
    qreal y = 0;
    for (int i = 0; i < lines; ++i) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        const bool last = i == lines - 1;
        const QString rest = text_.mid(line.textStart());
        if (last && metrics.horizontalAdvance(rest) > width) {
            painter.drawText(QPointF(0, y + metrics.ascent()),
                             metrics.elidedText(rest, Qt::ElideRight, width));
            break;
        }
        const QString shown = text_.mid(line.textStart(), line.textLength());
        painter.drawText(QPointF(0, y + metrics.ascent()), shown);
        y += metrics.lineSpacing();
    }
    layout.endLayout();
}

QWidget *makeDivider(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(1);
    QPalette palette = line->palette();
    palette.setColor(QPalette::WindowText, roleColor(ColorRole::separator, palette));
    line->setPalette(palette);
    return line;
}

QLabel *makeStyledLabel(const QString &text, FontRole font, ColorRole colour, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    applyTextStyle(label, font, colour);
    return label;
}

} // namespace halvora
