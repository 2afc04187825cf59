#include "app/PresentationQueue.h"

#include <QDialog>
#include <QWidget>

#include <algorithm>

namespace halvora {

PresentationQueue::PresentationQueue(QWidget *host) : QObject(host), host_(host) {}

PresentationQueue::~PresentationQueue()
{
    // The host is going away; its dialogs go with it, and nothing more may be shown.
    waiting_.clear();
    if (current_)
        QObject::disconnect(current_, nullptr, this, nullptr);
}

void PresentationQueue::enqueue(const QString &key, std::function<QDialog *()> make)
{
    if (contains(key))
        return;
    waiting_.append(Request{key, std::move(make)});
    if (!showing_)
        showNext();
}

void PresentationQueue::withdraw(const QString &key)
{
    waiting_.removeIf([&](const Request &request) { return request.key == key; });
    // A dialog that is hidden is already closing: its finished() handlers are what withdrew
    // it, and rejecting it again would run them a second time.
    if (showing_ && currentKey_ == key && current_ && current_->isVisible())
        current_->reject();
}

QDialog *PresentationQueue::currentDialog() const
{
    return current_;
}

QString PresentationQueue::currentKey() const
{
    return showing_ ? currentKey_ : QString();
}

bool PresentationQueue::contains(const QString &key) const
{
    if (showing_ && currentKey_ == key)
        return true;
    return std::any_of(waiting_.begin(), waiting_.end(), [&](const Request &r) { return r.key == key; });
}

QList<QString> PresentationQueue::waitingKeys() const
{
    QList<QString> keys;
    for (const Request &request : waiting_)
        keys.append(request.key);
    return keys;
}

void PresentationQueue::showNext()
{
    while (!showing_ && !waiting_.isEmpty()) {
        Request request = waiting_.takeFirst();
        // Marked as showing before make() runs, so that an enqueue from inside it waits.
        showing_ = true;
        currentKey_ = request.key;
        QDialog *dialog = request.make ? request.make() : nullptr;
        if (!dialog) {
            showing_ = false;
            currentKey_.clear();
            continue;
        }
        current_ = dialog;
        currentRaw_ = dialog;
        // The queue deletes the dialog itself once its finished() handlers have run.
        dialog->setAttribute(Qt::WA_DeleteOnClose, false);
        connect(dialog, &QDialog::finished, this, [this, dialog] { onFinished(dialog, false); });
        connect(dialog, &QObject::destroyed, this, [this, dialog] { onFinished(dialog, true); });
        if (dialog->windowModality() == Qt::NonModal)
            dialog->setWindowModality(Qt::WindowModal);
        dialog->open();
        Q_EMIT presented(currentKey_, dialog);
    }
}

void PresentationQueue::onFinished(QDialog *dialog, bool destroyed)
{
    if (!showing_ || currentRaw_ != dialog)
        return;
    QObject::disconnect(dialog, nullptr, this, nullptr);
    const QString key = currentKey_;
    showing_ = false;
    currentKey_.clear();
    current_ = nullptr;
    currentRaw_ = nullptr;
    if (!destroyed) {
        dialog->hide();
        dialog->deleteLater();
    }
    Q_EMIT dismissed(key);
    showNext();
}

} // namespace halvora
