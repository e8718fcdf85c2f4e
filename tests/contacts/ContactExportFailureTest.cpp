// Contact exports (own CSV layout, vCard) under a failing device: the older file stays.
#include "WriteFailureChecks.h"
#include "contacts/CExportContactHelper.h"
#include "contacts/ContactCsvLayout.h"
#include "libs/vcard/VCard.h"

#include <QTemporaryDir>

namespace {

TEST(ContactExportFailure, FailedWritesKeepTheOlderFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::vector<QStringList> table{contacts::ChineseCsvHeader()};
    CMultiContactVcard cards;
    for (int i = 0; i < 30; ++i) {
        const QString name = QStringLiteral("联系人%1").arg(i);
        QStringList row(table.front().size());
        row[0] = name;
        table.push_back(row);
        CVCard* card = cards.NewContact();
        card->AddProperty(QStringLiteral("FN"), name);
        card->AddProperty(QStringLiteral("TEL"), QStringLiteral("1370000%1").arg(i), {QStringLiteral("CELL")});
    }
    const std::vector<std::pair<const char*, std::function<IoResult(QIODevice&)>>> writers = {
        {"contacts.csv", [&table](QIODevice& out) { return CExportContactHelper::WriteCsvTable(out, table); }},
        {"contacts.vcf", [&cards](QIODevice& out) { return cards.Write(out); }},
    };
    for (const auto& [name, write] : writers) {
        SCOPED_TRACE(name);
        QTemporaryDir folder(dir.filePath(QStringLiteral("XXXXXX")));
        ExpectFailedWritesKeepTarget(folder.filePath(QString::fromLatin1(name)), write);
    }
}

} // namespace
