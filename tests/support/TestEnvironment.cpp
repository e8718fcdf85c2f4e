#include "TestEnvironment.h"

#include <QDir>

#include <utility>

ScopedTestFolders::ScopedTestFolders()
    : m_oldData(qgetenv("XDG_DATA_HOME")), m_oldConfig(qgetenv("XDG_CONFIG_HOME")), m_oldHome(qgetenv("HOME")) {
    for (const auto& [variable, folder] :
         {std::pair{"XDG_DATA_HOME", "data"}, {"XDG_CONFIG_HOME", "config"}, {"HOME", "home"}}) {
        QDir(m_dir.path()).mkpath(QString::fromLatin1(folder));
        qputenv(variable, QFile::encodeName(m_dir.filePath(QString::fromLatin1(folder))));
    }
}

ScopedTestFolders::~ScopedTestFolders() {
    qputenv("XDG_DATA_HOME", m_oldData);
    qputenv("XDG_CONFIG_HOME", m_oldConfig);
    qputenv("HOME", m_oldHome);
}

QString ScopedTestFolders::DataFolder() const {
    return m_dir.filePath(QStringLiteral("data/vexa"));
}

QString ScopedTestFolders::ConfigFolder() const {
    return m_dir.filePath(QStringLiteral("config/vexa"));
}
