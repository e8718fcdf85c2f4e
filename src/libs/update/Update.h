#pragma once
// The self-update check: fetches the update manifest over HTTP and compares its version with the
// running one. The manifest is a small XML document:
//
//   <manifest app="VexaPhoneDesk">
//     <version>1.3.0.0</version>
//     <description>新增……</description>
//   </manifest>
//
// Thread-safe; libUpdate_Check blocks (call it from a worker).

#include <QByteArray>
#include <QString>

#include <functional>

constexpr int LUSC_NEW_VERSION = 0; // every result other than the three below means a newer version
constexpr int LUSC_INTERNET_ERROR = 4097;
constexpr int LUSC_BAD_MANIFEST = 4098;
constexpr int LUSC_LATEST = 4099;

// The proxy for later checks: server "host:port" (empty: direct) and credentials "user:password".
void libUpdate_SetProxyInfo(const QString& server, const QString& credentials);

// An empty manifestUrl (no update host configured) means there is no newer version. cancelled, when
// given, is asked every 50 ms; once it says true the check ends with LUSC_INTERNET_ERROR.
int libUpdate_Check(const QString& currentVersion, const QString& manifestUrl, QString* newVersion,
                    QString* description, const std::function<bool()>& cancelled = {});

// The check without the network: result for a manifest document. Exposed for tests.
int libUpdate_ParseManifest(const QByteArray& xml, const QString& currentVersion, QString* newVersion,
                            QString* description);

// Compares dotted numeric versions part by part (missing parts count as 0): <0, 0, >0.
// Returns 0 also when either is not a dotted number.
int CompareVersions(const QString& a, const QString& b);

// The manifest's address on the configured update host, empty when none is configured.
QString UpdateManifestUrl();
