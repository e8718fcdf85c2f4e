#pragma once
// What the window tests of a tab share: temporary program folders, a private simulator folder and
// the simulated bridge started over it; undone in reverse order. Make it in init() and destroy it
// in cleanup(), after the page.

#include "TestEnvironment.h"

#include "bridge/api/DeviceBridge.h"
#include "bridge/sim/SimBridge.h"

#include <QFile>
#include <QTemporaryDir>

#include <memory>

class CSimPageEnvironment {
public:
    CSimPageEnvironment() : m_oldSimDir(qgetenv("VEXA_SIM_DIR")) {
        qputenv("VEXA_SIM_DIR", QFile::encodeName(m_dir.filePath("sim")));
        vexa::sim::UseSimulatedPhones();
        m_started = ppInitialize();
    }
    ~CSimPageEnvironment() {
        ppCleanup();
        qputenv("VEXA_SIM_DIR", m_oldSimDir);
    }
    CSimPageEnvironment(const CSimPageEnvironment&) = delete;
    CSimPageEnvironment& operator=(const CSimPageEnvironment&) = delete;

    bool Started() const { return m_started; }
    // A file of the test's own folder.
    QString Path(const QString& name) const { return m_dir.filePath(name); }

private:
    ScopedTestFolders m_folders;
    QTemporaryDir m_dir;
    QByteArray m_oldSimDir;
    bool m_started = false;
};
