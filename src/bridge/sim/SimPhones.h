#pragma once
// The simulator folder and its phones: each phone is one SQLite file "<serial>.vexaphone" under
// $XDG_DATA_HOME/vexa/sim/ (or $VEXA_SIM_DIR). Used by the simulated bridge, vexa-phone and tests.
// Functions are thread-safe (each opens its own connection); failures are logged and returned.

#include <QString>
#include <QStringList>

#include <vector>

namespace vexa::sim {

struct PhoneSpec {
    QString brand = QStringLiteral("vexa");
    QString model;
    QString serial;
    QString firmware = QStringLiteral("VEXA-UI 2.1.0");
    QString osVersion = QStringLiteral("4.0.4");
    int versionFirst = 2;
    int versionSecond = 1;
    bool dualSim = false;
    bool sdCard = false;
    int simState = 1; // 0 none, 1, 2, 3 both
    QString projectNumber = QStringLiteral("default");
    bool attached = true;
};

struct PhoneSummary {
    QString serial, brand, model, path;
    bool attached = false;
};

// The folder (created when missing).
QString SimFolder();
QString PhoneFilePath(const QString& serial);
// Serials are letters, digits, "-", "_" and "." (not leading), at most 63 characters.
bool IsValidSerial(const QString& serial);

// Creates a phone with its standard folder tree and identity. False (error set) when the serial
// is invalid, the phone exists or the file cannot be written.
bool CreatePhone(const PhoneSpec& spec, QString* error);
// Every readable phone of the folder. Files that cannot be read, or whose name is not their
// phone's serial (a copied or renamed file, which could not be opened by serial), are logged and
// left out; problems, when given, receives one line per such file: "<file name>: <reason>".
std::vector<PhoneSummary> ListPhones(QStringList* problems = nullptr);
// Attaching a phone that was rebooted into its updater (RebootToUpdate, which detaches it) installs
// the update image first: the phone then reports the firmware named in its "firmware.prop".
bool SetAttached(const QString& serial, bool attached, QString* error);
// Queues a phone event for the program: kind 1 call (state 1), 2 message, 3 orientation ("0".."3"),
// 4 phone request. A message also lands in the inbox.
bool RaiseEvent(const QString& serial, int kind, const QString& number, const QString& text, QString* error);

// Latency and fault knobs for tests. Counters start when a session opens. Environment variables
// VEXA_SIM_DELAY_MS, VEXA_SIM_FAIL_WRITE and VEXA_SIM_DROP_AFTER give the defaults.
struct SimFaults {
    int delayMs = 0;      // sleep before every phone operation
    int failNthWrite = 0; // the Nth write statement (from 1) of the session fails; 0 = never
    int dropAfterOps = 0; // the link drops when operation N+1 starts; 0 = never
};
void SetFaults(const SimFaults& faults);
SimFaults CurrentFaults();

// Phone operations made on the application's main (UI) thread since the program started, where a
// slow phone would freeze the window. Each one is logged with the call's stack ("[SimPhone] phone
// operation on the UI thread"); tests of the windows expect none.
int UiThreadOperations();
// For the window tests, which make phone calls of their own on the same thread (seeding, reading
// back): when set, an operation on the UI thread is counted and logged only while `counts` answers
// true. Set it before the first phone opens; null (the default) counts every one.
void SetUiThreadOperationFilter(bool (*counts)());

} // namespace vexa::sim
