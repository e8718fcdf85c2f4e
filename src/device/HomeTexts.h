#pragma once
// The figures and texts of the home page's connected area, kept apart from the window so they can
// be checked without a phone or a display.

#include <QDateTime>
#include <QString>

#include <cstdint>

// "共%.2fM,已用%.2fM,剩余%.2fM" up to 1 073 741 824 bytes, the gigabyte form above.
QString StorageTotalText(std::int64_t total, std::int64_t freeBytes);

// A category's bar width in pixels on a bar of length pixels: size/total of it, truncated, but never
// less than one pixel for a category that is not empty. 0 when total is not positive.
int StorageBarWidth(std::int64_t size, std::int64_t total, int length);

// The bar length: 240 with a memory card, 420 without.
constexpr int StorageBarLength(bool hasCard) {
    return hasCard ? 240 : 420;
}

// What is left of total after the named categories and the free space.
std::int64_t StorageOthers(std::int64_t total, std::initializer_list<std::int64_t> categories, std::int64_t freeBytes);

// The screen player needs an OS version above 2.3.4 (older phones have no screenshot service),
// compared part by part: "4.0", "12" and "13.0.1" have it. Read as one number with the dots taken
// out, "12" would be below 234 and every current phone would lose its player.
bool ScreenPlayerSupported(const QString& osVersion);

// "上次备份时间：" and the age of the stored time ("%04d%02d%02d%02d%02d", seconds optional).
QString LastBackupText(const QString& stored, const QDateTime& now);

// The summary texts: messages, contacts, applications (the phone counts its own agent among its
// apps, agentApps of them, which the text leaves out).
// "VEXA <model>" for a phone's model, also when the phone already names the brand in it.
QString BrandedModel(const QString& model);

QString MessageCountText(int count);
QString ContactCountText(int count);
QString AppCountText(int reportedCount, int agentApps = 1);
