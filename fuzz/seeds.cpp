// Writes seed inputs for the fuzz targets into DIR/<target>/, built from real records.
#include "core/model/ModelJson.h"

#include <QDir>
#include <QFile>

#include <cstdio>

using namespace halvora;

namespace {

void write(const QString &dir, const QString &name, const QByteArray &bytes)
{
    QDir().mkpath(dir);
    QFile file(dir + u'/' + name);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        std::fprintf(stderr, "cannot write seed %s\n", qPrintable(file.fileName()));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: halvora_fuzz_seeds DIR\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);

    const char *extensions[] = {"pdf", " .PDF ", "...md", "Tar.GZ", ". md", "a/b",
                                "x:y", "md.",    "\\",    "ÉTÉ",    ""};
    int n = 0;
    for (const char *text : extensions)
        write(root + QStringLiteral("/fuzz_normalizer"), QString::number(n++), QByteArray(text));

    const AssociatedApp viewer(
        QStringLiteral("문서 보기"), QStringLiteral("org.example.Viewer.desktop"),
        QUrl::fromLocalFile(QStringLiteral("/usr/share/applications/org.example.Viewer.desktop")));
    const AssociatedApp editor(
        QStringLiteral("Editor"), QStringLiteral("editor.desktop"),
        QUrl::fromLocalFile(QStringLiteral("/home/u/.local/share/applications/my editor.desktop")));
    const QList<AssociationChangeRecord> history{
        AssociationChangeRecord(QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF"), QStringLiteral("pdf"),
                                QStringLiteral("application/pdf"), viewer, editor, Timestamp(786297600.25),
                                AssociationVerificationStatus::verified, std::nullopt),
        AssociationChangeRecord(QStringLiteral("md|1700000000.0"), QStringLiteral("md"),
                                QStringLiteral("text/markdown"), std::nullopt, viewer, Timestamp(721692800.0),
                                AssociationVerificationStatus::verificationFailed,
                                QStringLiteral("확인되지 않았습니다.")),
    };
    const QString json = root + QStringLiteral("/fuzz_history_json");
    write(json, QStringLiteral("history"), encodeJsonArray(history));
    write(json, QStringLiteral("empty"), QByteArray("[]"));
    write(json, QStringLiteral("legacy"),
          encodeJsonObject(RecentAssociationChange(QStringLiteral("md"), QStringLiteral("text/markdown"),
                                                   viewer, editor, Timestamp(1.5))));
    return 0;
}
