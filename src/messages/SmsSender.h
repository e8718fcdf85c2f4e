#pragma once
// Sending and saving SMS through the phone's SMS store, for the compose windows and vexa-cli.
// The multiple forms wait BatchHooks::pauseMs before each recipient (the phone's radio needs the
// gap) and stop between recipients when cancelled or disconnected. Worker threads.

#include "messages/BatchHooks.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace vexa {
class DeviceSession;
class SmsStore;
} // namespace vexa

namespace messages {

// The SIM choice of the compose window: 1 the phone's default (single-SIM phones), 2 card 1, 3 card 2.
enum SimChoice { SimDefault = 1, SimCard1 = 2, SimCard2 = 3 };

// One SMS to one number (box 2, now, on the chosen card). True when the phone sent it.
bool SendOneSms(vexa::SmsStore* store, const QString& number, const QString& text, int simChoice);
// Marks these SMS read on the phone (what the user has looked at); the count marked.
int MarkSmsRead(vexa::SmsStore* store, const std::vector<std::int64_t>& ids);

struct SendOutcome {
    int recipients = 0;
    int successes = 0;
    QStringList failed;
    bool cancelled = false;
    // "a,b,c,\nd": the failed numbers as the failure message lists them.
    QString FailedText() const;
};
SendOutcome SendSmsToMany(vexa::DeviceSession* session, const QStringList& recipients, const QString& text,
                          int simChoice, const BatchHooks& hooks);

struct SaveOutcome {
    int saved = 0;
    int recipients = 0;
    bool cancelled = false;
    bool Ok() const { return !cancelled && saved == recipients; }
};
// Saves the text as a draft for each recipient (an empty recipient list saves one draft without a
// number). editDraftId: the draft being edited is updated instead of a new one for the first
// recipient.
SaveOutcome SaveSmsDrafts(vexa::DeviceSession* session, const QStringList& recipients, const QString& text,
                          std::optional<std::int64_t> editDraftId, const BatchHooks& hooks);

// The states of the two SIM send buttons: dual layout when the phone is dual-SIM and has a card;
// each button enabled when its card is present (state 1 card 1, 2 card 2, 3 both).
struct SimButtons {
    bool dualLayout = false;
    bool sim1Enabled = false;
    bool sim2Enabled = false;
};
SimButtons SimButtonsFor(bool dualSim, int simState);

} // namespace messages
