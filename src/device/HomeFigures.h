#pragma once
// What the home page shows of a connected phone, read in one go on a worker (the phone may take
// seconds to answer) and handed to the page as one value.

#include <QString>

#include <cstdint>

class CDeviceList;

namespace vexa {
class DeviceBridge;
class DeviceSession;
} // namespace vexa

// Sizes in bytes as the file-system object reports them.
struct StorageFigures {
    std::int64_t phoneTotal = 0;
    std::int64_t phoneFree = 0;
    std::int64_t phone[5] = {}; // system, picture, video, music, application
    bool hasPhoneStorage = true;
    bool hasCard = false;
    std::int64_t cardTotal = 0;
    std::int64_t cardFree = 0;
    std::int64_t card[4] = {}; // picture, video, music, application
};

struct HomeFigures {
    QString model;
    QString firmware;
    bool firmwareUpdatable = false; // the link can put an update on the phone
    QString key; // names the phone in MapInfo.ini: the serial over USB, the phone's own id over Wi-Fi
    QString updatedTo; // the firmware a pending update brought, once the phone came back with it
    bool hasStorage = false;
    StorageFigures storage;
    bool hasSummary = false;
    int messages = 0;
    int contacts = 0;
    int apps = 0;
    int agentApps = 0;
    bool backupTimeHidden = false;
    QString osVersion;     // decides whether the screen player is offered
    QString projectNumber; // picks the phone shell; "default" when the phone names none
};

// Reads everything the home page shows. Call inside a use of the session gate, on a worker.
HomeFigures ReadHomeFigures(vexa::DeviceBridge* bridge, vexa::DeviceSession* session, const CDeviceList& devices);
