#pragma once

#include "app/Style.h"

#include <QColor>
#include <QString>
#include <QWidget>

#include <optional>

class QLabel;

namespace halvora {

// Small building blocks shared by the sheets.

// A symbol followed by a text, both in one colour: status lines, counts and headers.
class SymbolLabel : public QWidget {
    Q_OBJECT

public:
    SymbolLabel(const QString &symbolName, const QString &text, FontRole font,
                std::optional<QColor> colour = std::nullopt, QWidget *parent = nullptr);

    QString text() const;
    QString symbolName() const { return symbolName_; }
    // The colour the text and symbol are drawn in; the palette's text colour when unset.
    std::optional<QColor> colour() const { return colour_; }

private:
    QString symbolName_;
    std::optional<QColor> colour_;
    QLabel *text_;
};

// Text limited to a number of lines; what does not fit ends in an ellipsis. Unlike a
// wrapping QLabel it never asks for more room than its line limit.
class ElidedLabel : public QWidget {
    Q_OBJECT

public:
    ElidedLabel(const QString &text, int maximumLines, QWidget *parent = nullptr);

    const QString &text() const { return text_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString text_;
    int maximumLines_;
};

// A thin horizontal line between the parts of a sheet.
QWidget *makeDivider(QWidget *parent = nullptr);

// A label in the given text style and colour.
QLabel *makeStyledLabel(const QString &text, FontRole font, ColorRole colour, QWidget *parent);

} // namespace halvora
