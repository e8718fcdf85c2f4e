#include "TestEnvironment.h"

#include <QDir>

ScopedTestFolders::ScopedTestFolders()
    : m_oldData(qgetenv("XDG_DATA_HOME")), m_oldConfig(qgetenv("XDG_CONFIG_HOME")), m_oldHome(qgetenv("HOME")) {
    QDir(m_dir.path()).mkpath(QStringLiteral("data"));
    QDir(m_dir.path()).mkpath(QStringLiteral("config"));
    QDir(m_dir.path()).mkpath(QStringLiteral("home"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("data"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("config"))));
    qputenv("HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("home"))));
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
