#pragma once
// The dialog side of contact import and export: file choosers, the progress dialog with cancel in
// front of the helpers' worker, the group question and the result message. The work itself is the
// helpers'; the worker fetches the contact book afresh inside the session gate. UI thread only.

#include "contacts/CExportContactHelper.h"
#include "device/LoadDataHelper.h"

#include <QStringList>

#include <functional>
#include <vector>

class CSessionGate;
class QWidget;

namespace vexa {
class Contact;
class ContactBook;
class DeviceSession;
} // namespace vexa

// Where the files come from: kind 0 CSV to open, 1 vCards to open, 2 CSV to save, 3 vCard to save.
// Tests replace it; an empty answer means the user cancelled.
using ContactFileChooser = std::function<QStringList(QWidget* parent, int kind)>;
QStringList ChooseContactFiles(QWidget* parent, int kind);

struct ContactTransferOutcome {
    bool ran = false;  // false: nothing was done (no file chosen, unreadable file, ...)
    int result = 0;    // Type_Import_Result / Type_Export_Result
    int count = 0;
    QString message;   // what the user was told last
};

// Runs job on the session on a worker behind a cancellable progress dialog (title, remind text),
// inside the session gate and never while the loader of kind reads the same store; returns the
// job's result, or failed when there is no phone. phoneLost, when given: whether the phone was out
// of reach when the job ended. Every window of the contacts tab runs its phone work this way.
using SessionJob = std::function<int(vexa::DeviceSession& session, const std::function<bool()>& cancelled,
                                     const std::function<void(int total, int done)>& progress)>;
int RunOnPhone(QWidget* parent, CSessionGate& gate, const QString& title, const QString& remind, int failed,
               LoaderLockId kind, const SessionJob& job, bool* phoneLost = nullptr);
// The same on the contact book (failed when there is none).
using BookJob = std::function<int(vexa::ContactBook* book, const std::function<bool()>& cancelled,
                                  const std::function<void(int total, int done)>& progress)>;
int RunOnContactBook(QWidget* parent, CSessionGate& gate, const QString& title, const QString& remind, int failed,
                     const BookJob& job, bool* phoneLost = nullptr);

// Import the chosen files (CSV and vCard, each by its name), asking the group question when the
// records name groups. Shows every message itself, and anything the user should know about a file.
ContactTransferOutcome RunContactImport(QWidget* parent, CSessionGate& gate, const QStringList& files);
// Export the contacts to path in format; shows 345 when there are none.
ContactTransferOutcome RunContactExport(QWidget* parent, CSessionGate& gate, const std::vector<vexa::Contact*>& contacts,
                                        CExportContactHelper::Format format, const QString& path);
