#include "core/service/ChangeGuard.h"

namespace halvora {

namespace {

class NoSession final : public ChangeSession {
public:
    std::optional<ChangeIntent> abandoned() override { return std::nullopt; }
    void begin(const ChangeIntent &) override {}
    void finish() override {}
};

class Unguarded final : public ChangeGuard {
public:
    QCoro::Task<std::shared_ptr<ChangeSession>> enter() override { co_return std::make_shared<NoSession>(); }
    bool mayHaveAbandoned() const override { return false; }
    std::optional<QString> disagreement(const QString &, const AssociatedApp &) const override
    {
        return std::nullopt;
    }
};

} // namespace

std::shared_ptr<ChangeGuard> makeUnguardedChanges()
{
    return std::make_shared<Unguarded>();
}

} // namespace halvora
