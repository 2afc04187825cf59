#pragma once

#include <QCoroTask>
#include <QEventLoop>
#include <QTimer>
#include <QtGlobal>

#include <chrono>
#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

namespace halvora::test {

// Runs the calling thread's event loop until the task ends; returns its value or rethrows
// its failure with its own type. Unlike QCoro::waitFor it needs no default-constructible
// result and does not hang on a failing task. A task still running after the timeout
// aborts the test binary: its frame refers to this function's locals.
template <typename T>
T waitForTask(QCoro::Task<T> task, std::chrono::milliseconds timeout = std::chrono::seconds(300))
{
    using Stored = std::conditional_t<std::is_void_v<T>, bool, T>;
    std::optional<Stored> value;
    std::exception_ptr failure;
    bool done = false;
    QEventLoop loop;

    auto run = [&]() -> QCoro::Task<void> {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await task;
                value.emplace(true);
            } else {
                value.emplace(co_await task);
            }
        } catch (...) {
            failure = std::current_exception();
        }
        done = true;
        loop.quit();
    };
    auto runner = run();
    if (!done) {
        QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (!done)
        qFatal("waitForTask: the task did not finish in time");
    if (failure)
        std::rethrow_exception(failure);
    if constexpr (!std::is_void_v<T>)
        return std::move(*value);
}

// Runs the event loop until the condition holds or the timeout passes; returns the condition.
// The timeout only bounds a test that already failed, so it is far beyond any busy machine.
template <typename Condition>
bool processEventsUntil(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(120))
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (condition())
            loop.quit();
    });
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    if (condition())
        return true;
    poll.start(1);
    loop.exec();
    return condition();
}

} // namespace halvora::test
