#pragma once
// Points the program's data and configuration folders at a fresh temporary folder for one test,
// so tests never touch the user's files, and restores the environment afterwards.

#include <QByteArray>
#include <QTemporaryDir>

class ScopedTestFolders {
public:
    ScopedTestFolders();
    ~ScopedTestFolders();
    ScopedTestFolders(const ScopedTestFolders&) = delete;
    ScopedTestFolders& operator=(const ScopedTestFolders&) = delete;

    QString Root() const { return m_dir.path(); }
    QString DataFolder() const;   // $XDG_DATA_HOME/vexa
    QString ConfigFolder() const; // $XDG_CONFIG_HOME/vexa

private:
    QTemporaryDir m_dir;
    QByteArray m_oldData;
    QByteArray m_oldConfig;
    QByteArray m_oldHome;
};
