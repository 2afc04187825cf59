#pragma once

#include <QString>
#include <QWidget>

namespace halvora {

// The empty-content panel: a large symbol, a title and an optional description, centred.
class PlaceholderPanel : public QWidget {
    Q_OBJECT

public:
    PlaceholderPanel(const QString &symbolName, const QString &title, const QString &description,
                     QWidget *parent = nullptr);

    const QString &title() const { return title_; }
    const QString &description() const { return description_; }

private:
    QString title_;
    QString description_;
};

} // namespace halvora
