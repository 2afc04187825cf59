#include "linux/mimeapps/MimeAppsResolver.h"

namespace halvora {

struct MimeAppsResolver::Impl {
    XdgEnvironment environment;
    std::shared_ptr<const MimeTypeFacts> types;
};

MimeAppsResolver::MimeAppsResolver(XdgEnvironment environment, std::shared_ptr<const MimeTypeFacts> types)
    : impl_(new Impl{std::move(environment), std::move(types)})
{}
MimeAppsResolver::~MimeAppsResolver() = default;
const XdgEnvironment &MimeAppsResolver::environment() const
{
    return impl_->environment;
}
void MimeAppsResolver::withSnapshot(const std::function<void()> &fn) const
{
    fn();
}
DefaultAnswer MimeAppsResolver::defaultFor(const QString &) const
{
    return {};
}
QList<CandidateAnswer> MimeAppsResolver::candidatesFor(const QString &) const
{
    return {};
}
std::optional<ResolvedApp> MimeAppsResolver::application(const QString &) const
{
    return std::nullopt;
}
std::optional<QString> MimeAppsResolver::desktopIdForPath(const QString &) const
{
    return std::nullopt;
}
QList<ListFile> MimeAppsResolver::listFiles() const
{
    return {};
}
const char *skipReasonName(SkipReason)
{
    return "";
}
std::shared_ptr<const MimeTypeFacts> systemMimeTypeFacts()
{
    return nullptr;
}

} // namespace halvora
