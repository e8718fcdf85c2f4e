#pragma once
// What every vexa-cli test needs: program folders, simulated phones, the command line run in-process.

#include "CliCommands.h"
#include "TestFiles.h"

#include "../bridge/adb/AdbTestRig.h"
#include "TestEnvironment.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"

#include <QFile>

#include <gtest/gtest.h>

class CliFixture : public ::testing::Test {
protected:
    ~CliFixture() override {
        qunsetenv("VEXA_BRIDGE");
        qunsetenv("ANDROID_ADB_SERVER_PORT");
    }

    // A private adb server with vexa-adbd serving the simulated phone; the rig stops both at the end.
    void UseAdb(const QString& phone) {
        QString error;
        ASSERT_TRUE(m_adb.StartServer(&error)) << error.toStdString();
        ASSERT_TRUE(m_adb.StartDaemon(phone, &m_adbSerial, &error)) << error.toStdString();
        qputenv("VEXA_BRIDGE", "adb");
        qputenv("ANDROID_ADB_SERVER_PORT", QByteArray::number(m_adb.ServerPort()));
    }

    void AddPhone(const QString& serial, const QString& brand = QStringLiteral("vexa"),
                  const QString& model = QStringLiteral("V960")) {
        QString error;
        ASSERT_TRUE(vexa::sim::CreatePhone({.brand = brand, .model = model, .serial = serial}, &error))
            << error.toStdString();
    }

    void Seed(const QString& serial, const vexa::sim::SeedOptions& options) {
        QString error;
        ASSERT_TRUE(vexa::sim::SeedPhone(serial, options, &error)) << error.toStdString();
    }

    int Run(const QStringList& args) {
        m_out.clear();
        m_err.clear();
        QTextStream out(&m_out);
        QTextStream err(&m_err);
        return RunCli(args, out, err);
    }

    // A command line, the exit code it must give and, unless null, what it must print: the whole of
    // standard output on success, of standard error otherwise (the last line break left off).
    struct Step {
        QStringList args;
        int code;
        QString text = QString();
    };
    void RunSteps(std::initializer_list<Step> steps) {
        for (const Step& step : steps) {
            SCOPED_TRACE(step.args.join(u' ').toStdString());
            EXPECT_EQ(Run(step.args), step.code) << m_err.toStdString();
            if (!step.text.isNull()) {
                EXPECT_EQ(step.code == kCliOk ? m_out : m_err, step.text + u'\n');
            }
        }
    }

    QString Path(const QString& name) const { return m_folders.Root() + u'/' + name; }

    QString Write(const QString& name, const QByteArray& bytes) {
        EXPECT_TRUE(vexa::test::WriteFile(Path(name), bytes));
        return Path(name);
    }

    ScopedTestFolders m_folders;
    QString m_out;
    QString m_err;
    CAdbTestRig m_adb;
    QString m_adbSerial;
};
