#pragma once

#include <QByteArray>
#include <QException>
#include <QString>

#include <exception>

namespace halvora {

// Base of every failure that the system raises itself. Its description is the Korean
// sentence shown to the user. It derives from QException so that it crosses a QFuture
// with its own type; every subclass overrides raise() and clone() (use the macro below).
class LocalizedError : public QException {
public:
    explicit LocalizedError(QString description);

    const QString &localizedDescription() const { return description_; }
    const char *what() const noexcept override { return utf8_.constData(); }

    void raise() const override { throw *this; }
    LocalizedError *clone() const override { return new LocalizedError(*this); }

private:
    QString description_;
    QByteArray utf8_;
};

#define HALVORA_LOCALIZED_ERROR_CLONE(Type)                                                                  \
    void raise() const override                                                                              \
    {                                                                                                        \
        throw *this;                                                                                         \
    }                                                                                                        \
    Type *clone() const override                                                                             \
    {                                                                                                        \
        return new Type(*this);                                                                              \
    }

// The text shown to the user for any failure: a LocalizedError's description, the message
// of another std::exception, or a generic Korean sentence. QUnhandledException is unwrapped.
QString localizedDescription(const std::exception_ptr &failure);

} // namespace halvora
