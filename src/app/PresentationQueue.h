#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QDialog;
class QWidget;

namespace halvora {

// Shows the window's alerts and sheets one at a time, in the order they were asked for.
//
// Every presentation has a key ("error", "confirmChange", "history", ...). A view asks for
// one when the value it shows becomes present, and withdraws it when the value goes away:
//
//     queue.enqueue("error", [this]() -> QDialog * { return makeErrorAlert(); });
//     queue.withdraw("error");
//
// enqueue is ignored while the same key is showing or waiting, so it may be called on every
// change of the value. make() runs only when the key's turn comes; it may return nullptr
// (the value is gone by then), and the next request is shown instead. The dialog it returns
// is opened window-modal over the host (QDialog::open, so nothing blocks) and deleted after
// it closes. Whatever closing means for the state (clearing alertMessage, pendingChange, ...)
// is make()'s business: connect to the dialog's finished() signal, which Escape and the
// window manager's close button raise as well as the dialog's own buttons. Once that has run,
// the queue shows the next request.
//
// withdraw drops a waiting request, or rejects the showing dialog (its finished() handlers run
// as for any other dismissal).
class PresentationQueue : public QObject {
    Q_OBJECT

public:
    explicit PresentationQueue(QWidget *host);
    ~PresentationQueue() override;

    void enqueue(const QString &key, std::function<QDialog *()> make);
    void withdraw(const QString &key);

    // The dialog on screen and its key; nullptr and empty while nothing is shown.
    QDialog *currentDialog() const;
    QString currentKey() const;
    // Whether the key is showing or waiting.
    bool contains(const QString &key) const;
    QList<QString> waitingKeys() const;

Q_SIGNALS:
    void presented(const QString &key, QDialog *dialog);
    void dismissed(const QString &key);

private:
    struct Request {
        QString key;
        std::function<QDialog *()> make;
    };

    void showNext();
    void onFinished(QDialog *dialog, bool destroyed);

    QWidget *host_;
    QList<Request> waiting_;
    QString currentKey_;
    QPointer<QDialog> current_;
    QDialog *currentRaw_ = nullptr; // compared only, never dereferenced after destruction
    bool showing_ = false;
};

} // namespace halvora
