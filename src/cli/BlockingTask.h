#pragma once

#include <QCoroTask>
#include <QEventLoop>

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

namespace halvora::cli {

namespace detail {

template <typename T> struct TaskOutcome {
    std::optional<T> value;
    std::exception_ptr failure;
    bool done = false;
};

template <> struct TaskOutcome<void> {
    std::exception_ptr failure;
    bool done = false;
};

template <typename T> QCoro::Task<> driveTask(QCoro::Task<T> task, TaskOutcome<T> &outcome, QEventLoop &loop)
{
    try {
        if constexpr (std::is_void_v<T>)
            co_await std::move(task);
        else
            outcome.value.emplace(co_await std::move(task));
    } catch (...) {
        outcome.failure = std::current_exception();
    }
    outcome.done = true;
    loop.quit();
}

} // namespace detail

// Runs a coroutine to its end on this thread's event loop and returns its result or
// rethrows its failure. Unlike QCoro::waitFor it needs no default-constructible result
// and does not lose a failure (which would leave the loop running for ever).
template <typename T> T runToEnd(QCoro::Task<T> task)
{
    QEventLoop loop;
    detail::TaskOutcome<T> outcome;
    auto driver = detail::driveTask(std::move(task), outcome, loop);
    if (!outcome.done)
        loop.exec();
    if (outcome.failure)
        std::rethrow_exception(outcome.failure);
    if constexpr (!std::is_void_v<T>)
        return std::move(*outcome.value);
}

} // namespace halvora::cli
