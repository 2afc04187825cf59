#include "cli/AssociationProfile.h"

#include "core/model/FileAssociationError.h"
#include "core/model/FileExtensionNormalizer.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cmath>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <utility>

namespace halvora::cli {

namespace {

const QString formatName = QStringLiteral("halvora-profile");
const QString desktopSuffix = QStringLiteral(".desktop");

ProfileError notAProfile(const QString &detail)
{
    return ProfileError(ProfileError::Problem::notAProfile,
                        QStringLiteral("Halvora 프로필이 아닙니다: ") + detail);
}

// Walks JSON text that has already parsed, to see what the parser keeps silent: an object
// holding one key twice keeps only the later value.
class JsonSkimmer {
public:
    explicit JsonSkimmer(const QByteArray &text) : text_(text) {}

    // The first key that the root's "defaults" object holds twice with different values.
    std::optional<std::pair<QString, std::pair<QJsonValue, QJsonValue>>> repeatedDefaultsKey()
    {
        std::optional<std::pair<QString, std::pair<QJsonValue, QJsonValue>>> found;
        if (next() != '{')
            return found;
        ++at_;
        while (next() == '"') {
            const QString key = decode(stringToken()).toString();
            next();
            ++at_; // ':'
            if (key == u"defaults" && next() == '{' && !found) {
                ++at_;
                QHash<QString, QJsonValue> seen;
                while (next() == '"') {
                    const QString entry = decode(stringToken()).toString();
                    next();
                    ++at_; // ':'
                    const QJsonValue value = decode(valueToken());
                    const auto earlier = seen.constFind(entry);
                    if (earlier != seen.constEnd() && *earlier != value && !found)
                        found.emplace(entry, std::make_pair(*earlier, value));
                    seen.insert(entry, value);
                    if (next() == ',')
                        ++at_;
                }
                ++at_; // '}'
            } else {
                valueToken();
            }
            if (next() == ',')
                ++at_;
        }
        return found;
    }

private:
    // Skips blanks and returns the character there, or 0 at the end.
    char next()
    {
        while (at_ < text_.size() && std::strchr(" \t\r\n", text_[at_]) != nullptr)
            ++at_;
        return at_ < text_.size() ? text_[at_] : '\0';
    }

    QByteArray stringToken()
    {
        const qsizetype start = at_++;
        while (at_ < text_.size() && text_[at_] != '"')
            at_ += text_[at_] == '\\' ? 2 : 1;
        ++at_;
        return text_.mid(start, at_ - start);
    }

    QByteArray valueToken()
    {
        const char first = next();
        if (first == '"')
            return stringToken();
        const qsizetype start = at_;
        if (first == '{' || first == '[') {
            int depth = 0;
            do {
                if (text_[at_] == '"') {
                    stringToken();
                    continue;
                }
                depth += (text_[at_] == '{' || text_[at_] == '[') ? 1 : 0;
                depth -= (text_[at_] == '}' || text_[at_] == ']') ? 1 : 0;
                ++at_;
            } while (depth > 0 && at_ < text_.size());
        } else {
            while (at_ < text_.size() && std::strchr(",}] \t\r\n", text_[at_]) == nullptr)
                ++at_;
        }
        return text_.mid(start, at_ - start);
    }

    static QJsonValue decode(const QByteArray &token)
    {
        return QJsonDocument::fromJson('[' + token + ']').array().at(0);
    }

    const QByteArray &text_;
    qsizetype at_ = 0;
};

QString shown(const QJsonValue &value)
{
    return value.isString()
               ? value.toString()
               : QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact))
                     .mid(1)
                     .chopped(1);
}

} // namespace

ProfileError::ProfileError(Problem problem, QString description)
    : LocalizedError(std::move(description)), problem_(problem)
{}

bool isValidDesktopFileId(const QString &id)
{
    if (id.size() <= desktopSuffix.size() || !id.endsWith(desktopSuffix) || id.contains(u'/'))
        return false;
    for (QChar c : id) {
        if (c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

AssociationProfile parseProfile(const QByteArray &json)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        throw ProfileError(ProfileError::Problem::notJson,
                           QStringLiteral("프로필이 올바른 JSON이 아닙니다 (%1번째 바이트: %2).")
                               .arg(parseError.offset)
                               .arg(parseError.errorString()));
    }
    if (!document.isObject())
        throw notAProfile(QStringLiteral("JSON 객체가 아닙니다."));
    const QJsonObject root = document.object();
    if (root.value(u"format") != QJsonValue(formatName))
        throw notAProfile(QStringLiteral("\"format\"이 \"halvora-profile\"이 아닙니다."));

    const QJsonValue version = root.value(u"version");
    const double number = version.toDouble(-1);
    if (!version.isDouble() || number < 1 || std::floor(number) != number)
        throw notAProfile(QStringLiteral("\"version\"이 1 이상의 정수가 아닙니다."));
    if (number > AssociationProfile::currentVersion) {
        throw ProfileError(ProfileError::Problem::unsupportedVersion,
                           QStringLiteral("프로필 버전 %1은 지원하지 않습니다 (지원하는 버전: %2). "
                                          "Halvora를 업데이트하세요.")
                               .arg(number, 0, 'f', 0)
                               .arg(AssociationProfile::currentVersion));
    }

    const QJsonValue defaults = root.value(u"defaults");
    if (!defaults.isObject())
        throw notAProfile(QStringLiteral("\"defaults\" 객체가 없습니다."));
    if (const auto repeated = JsonSkimmer(json).repeatedDefaultsKey()) {
        throw ProfileError(
            ProfileError::Problem::duplicateExtension,
            QStringLiteral("프로필에 항목 \"%1\"이 서로 다른 앱(%2, %3)으로 두 번 있습니다.")
                .arg(repeated->first, shown(repeated->second.first), shown(repeated->second.second)));
    }

    AssociationProfile profile;
    // The key each extension was written with, to name both entries of a conflict.
    QMap<QString, QString> keyOf;
    const QJsonObject entries = defaults.toObject();
    for (auto entry = entries.constBegin(); entry != entries.constEnd(); ++entry) {
        QString extension;
        try {
            extension = FileExtensionNormalizer::normalize(entry.key());
        } catch (const FileAssociationError &error) {
            throw ProfileError(
                ProfileError::Problem::invalidExtension,
                QStringLiteral("프로필의 항목 \"%1\": %2").arg(entry.key(), error.errorDescription()));
        }
        const QString id = entry.value().toString();
        if (!entry.value().isString() || !isValidDesktopFileId(id)) {
            throw ProfileError(
                ProfileError::Problem::invalidApplication,
                QStringLiteral("프로필의 .%1 항목이 데스크톱 파일 ID(예: org.example.App.desktop)가 "
                               "아닙니다.")
                    .arg(extension));
        }
        const auto existing = profile.defaults.constFind(extension);
        if (existing != profile.defaults.constEnd() && *existing != id) {
            throw ProfileError(
                ProfileError::Problem::duplicateExtension,
                QStringLiteral("프로필의 항목 \"%1\"(%2)과 \"%3\"(%4)은 같은 확장자 .%5에 서로 "
                               "다른 앱을 지정합니다.")
                    .arg(keyOf.value(extension), *existing, entry.key(), id, extension));
        }
        profile.defaults.insert(extension, id);
        keyOf.insert(extension, entry.key());
    }
    return profile;
}

AssociationProfile readProfileFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        throw ProfileError(ProfileError::Problem::fileNotFound,
                           QStringLiteral("프로필 파일을 찾을 수 없습니다: ") + path);
    }
    if (info.isDir()) {
        throw ProfileError(ProfileError::Problem::unreadable,
                           QStringLiteral("프로필 파일을 읽을 수 없습니다: %1 (폴더입니다)").arg(path));
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw ProfileError(
            ProfileError::Problem::unreadable,
            QStringLiteral("프로필 파일을 읽을 수 없습니다: %1 (%2)").arg(path, file.errorString()));
    }
    // Read one byte past the limit so that a file that grows while read is still caught.
    const QByteArray bytes = file.read(AssociationProfile::maxFileSize + 1);
    if (bytes.size() > AssociationProfile::maxFileSize) {
        throw ProfileError(ProfileError::Problem::tooLarge,
                           QStringLiteral("프로필 파일이 너무 큽니다: %1 (최대 %2 MiB)")
                               .arg(path)
                               .arg(AssociationProfile::maxFileSize / (1024 * 1024)));
    }
    return parseProfile(bytes);
}

QByteArray serializeProfile(const AssociationProfile &profile)
{
    QJsonObject defaults;
    for (auto entry = profile.defaults.constBegin(); entry != profile.defaults.constEnd(); ++entry)
        defaults.insert(entry.key(), entry.value());
    const QJsonObject root{
        {"format", formatName}, {"version", AssociationProfile::currentVersion}, {"defaults", defaults}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

void writeProfileFile(const QString &path, const AssociationProfile &profile)
{
    // Through a symlink to the file it names, so that the link stays; anything at the path
    // that is not a regular file (a FIFO, a device, a folder) is never opened or replaced.
    QString target = path;
    const QFileInfo link(path);
    if (link.isSymLink()) {
        target = link.canonicalFilePath();
        if (target.isEmpty()) {
            throw ProfileError(
                ProfileError::Problem::notARegularFile,
                QStringLiteral("프로필 파일을 쓸 수 없습니다: %1 (가리키는 파일이 없는 링크입니다)")
                    .arg(path));
        }
    }
    struct stat info {};
    if (::stat(QFile::encodeName(target).constData(), &info) == 0 && !S_ISREG(info.st_mode)) {
        throw ProfileError(
            ProfileError::Problem::notARegularFile,
            QStringLiteral("프로필 파일을 쓸 수 없습니다: %1 (일반 파일이 아닙니다)").arg(path));
    }

    // Written beside the target and renamed over it only when every byte is on disk, so a
    // failure leaves the old file as it was.
    QSaveFile file(target);
    const QByteArray bytes = serializeProfile(profile);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        !file.commit()) {
        // The temporary file goes with the QSaveFile; the target is untouched.
        const QString reason = file.errorString();
        throw ProfileError(ProfileError::Problem::writeFailed,
                           QStringLiteral("프로필 파일을 쓸 수 없습니다: %1 (%2)").arg(path, reason));
    }
}

} // namespace halvora::cli
