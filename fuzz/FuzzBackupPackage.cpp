// The backup package reader on arbitrary bytes: it must never crash, never write outside its unpack
// folder, and leave that folder empty whenever it refuses a package.
#include "backup/BackupPackage.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <cstdint>
#include <cstdlib>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const QString root = QStringLiteral("/dev/shm/vexa-fuzz-%1").arg(::getpid());
    static const QString package = root + QStringLiteral("/p.bkg");
    static const QString unpack = root + QStringLiteral("/unpack");
    QDir().mkpath(root);
    QFile f(package);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return 0;
    }
    f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    f.close();

    const backup::UnpackResult r = backup::ReadPackage(package, unpack);
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        const bool allowed = p == package || (r.ok && QFileInfo(p).path() == unpack);
        if (!allowed) {
            std::abort(); // a file where the reader must not write
        }
    }
    backup::PackageDescriptor header;
    backup::ReadPackageHeader(package, header);
    return 0;
}
