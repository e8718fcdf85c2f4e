#include "TestApk.h"
#include "TestFiles.h"

#include "bridge/sim/SimSeed.h"

#include <algorithm>

QByteArray MakeTestApk(const QString& package, int versionCode, const QString& versionName, const QString& label,
                       const QStringList& permissions, const QByteArray& iconPng, int fillerBytes) {
    std::vector<std::pair<QString, QByteArray>> entries{
        {QStringLiteral("AndroidManifest.xml"),
         vexa::sim::MakeBinaryManifest(package, versionCode, versionName, label, 9, 15, permissions)},
        {QStringLiteral("classes.dex"), QByteArray("dex\n035\0", 8) + QByteArray(fillerBytes, 'd')}};
    if (!iconPng.isEmpty()) {
        entries.emplace_back(QStringLiteral("res/mipmap-hdpi/ic_launcher.png"), iconPng);
    }
    return vexa::sim::MakeZip(entries);
}

namespace {

void Put16(QByteArray& b, quint16 v) {
    b.append(char(v & 0xFF)).append(char(v >> 8));
}
void Put32(QByteArray& b, quint32 v) {
    Put16(b, quint16(v & 0xFFFF));
    Put16(b, quint16(v >> 16));
}
// A chunk of the given type around body, whose first headerSize - 8 bytes are the header's rest.
QByteArray Chunk(quint16 type, quint16 headerSize, const QByteArray& body) {
    QByteArray out;
    Put16(out, type);
    Put16(out, headerSize);
    Put32(out, static_cast<quint32>(8 + body.size()));
    return out + body;
}
QByteArray Utf16Pool(const QStringList& strings) {
    QByteArray offsets, data, body;
    for (const QString& text : strings) {
        Put32(offsets, static_cast<quint32>(data.size()));
        Put16(data, static_cast<quint16>(text.size()));
        for (QChar ch : text) {
            Put16(data, ch.unicode());
        }
        Put16(data, 0);
    }
    while (data.size() % 4) {
        data.append('\0');
    }
    // count, styles, flags (0: UTF-16), where the strings start, where the styles start
    for (const qsizetype field : {strings.size(), qsizetype(0), qsizetype(0), 28 + offsets.size(), qsizetype(0)}) {
        Put32(body, static_cast<quint32>(field));
    }
    return Chunk(0x0001, 28, body + offsets + data);
}

} // namespace

QByteArray MakeTestResourceTable(const std::vector<TestResource>& values) {
    QStringList strings;
    for (const TestResource& v : values) {
        if (v.reference == 0 && !strings.contains(v.text)) {
            strings << v.text;
        }
    }
    // One type chunk per type and configuration.
    QByteArray types;
    std::vector<const TestResource*> done;
    for (const TestResource& first : values) {
        if (std::find(done.begin(), done.end(), &first) != done.end()) {
            continue;
        }
        std::vector<const TestResource*> group;
        for (const TestResource& v : values) {
            if (v.type == first.type && v.language == first.language && v.country == first.country &&
                v.density == first.density) {
                group.push_back(&v);
                done.push_back(&v);
            }
        }
        quint32 count = 0;
        for (const TestResource* v : group) {
            count = std::max<quint32>(count, v->entry + 1u);
        }
        QByteArray config(64, '\0');
        config[0] = 64;
        const QByteArray language = first.language.toLatin1(), country = first.country.toLatin1();
        for (int i = 0; i < 2; ++i) {
            config[8 + i] = i < language.size() ? language[i] : '\0';
            config[10 + i] = i < country.size() ? country[i] : '\0';
        }
        config[14] = char(first.density & 0xFF);
        config[15] = char(first.density >> 8);
        std::vector<quint32> offsets(count, 0xFFFFFFFF);
        QByteArray entries;
        for (const TestResource* v : group) {
            offsets[v->entry] = static_cast<quint32>(entries.size());
            Put16(entries, 8);
            Put16(entries, 0);
            Put32(entries, 0);
            Put16(entries, 8);
            entries.append('\0');
            entries.append(char(v->reference != 0 ? 0x01 : 0x03));
            Put32(entries, v->reference != 0 ? v->reference : static_cast<quint32>(strings.indexOf(v->text)));
        }
        const quint16 headerSize = 20 + 64;
        QByteArray body;
        body.append(char(first.type)).append('\0');
        Put16(body, 0);
        Put32(body, count);
        Put32(body, headerSize + count * 4);
        body += config;
        for (quint32 offset : offsets) {
            Put32(body, offset);
        }
        types += Chunk(0x0201, headerSize, body + entries);
    }
    const QByteArray typeNames = Utf16Pool({QStringLiteral("string"), QStringLiteral("mipmap")});
    const QByteArray keyNames = Utf16Pool({QStringLiteral("app_name")});
    QByteArray package;
    Put32(package, 0x7f);
    QByteArray name(256, '\0');
    package += name;
    // where the type names start (after the header), their count, where the key names start, their count
    for (const qsizetype field : {qsizetype(288), qsizetype(2), 288 + typeNames.size(), qsizetype(1), qsizetype(0)}) {
        Put32(package, static_cast<quint32>(field));
    }
    QByteArray table;
    Put32(table, 1); // one package
    return Chunk(0x0002, 12, table + Utf16Pool(strings) + Chunk(0x0200, 288, package + typeNames + keyNames + types));
}

bool WriteTestFile(const QString& path, const QByteArray& bytes) {
    return vexa::test::WriteFile(path, bytes);
}
