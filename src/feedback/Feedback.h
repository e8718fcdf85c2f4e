#pragma once
// The suggestion feedback service: one HTTP form post of fourteen texts. The service's host comes
// from the [Services] settings ("feedback") or VEXA_FEEDBACK_HOST, as for the other services; no
// host means feedback cannot be sent. No widgets; SendFeedback blocks, so call it off the UI thread.

#include <QByteArray>
#include <QString>

#include <array>
#include <atomic>

// The fourteen texts in the order of the form's fields.
struct FeedbackForm {
    enum Field {
        PhoneType,
        OtherFunction,
        OtherQuestion,
        Firmware,
        PcVersion,
        Connect1,
        Connect2,
        Connect3,
        Source1,
        Source2,
        Source3,
        Fun1,
        Fun2,
        Fun3,
        FieldCount
    };
    std::array<QString, FieldCount> values;
};

// The form field names, "info[phonetype]" … "info[fun][3]", in the order of FeedbackForm::Field.
extern const std::array<const char*, FeedbackForm::FieldCount> kFeedbackFieldNames;
// The text a ticked box sends for fields Connect1 … Fun3 ("驱动安装不上" …), in that order.
extern const std::array<const char*, 9> kFeedbackComplaints;

// "info[phonetype]=…&…&info[fun][3]=…": the fourteen fields in order, each value percent-encoded
// from UTF-8 (EncodeFormBody), so a report holding "&", "=", "+" or line breaks arrives whole and
// cannot add fields of its own.
QByteArray FormatFeedbackBody(const FeedbackForm& form);

// The form the crash reporter sends: the report in the free text, with the program version.
FeedbackForm CrashReportForm(const QString& reportText, const QString& programVersion);

// Drops everything up to and including the first "//"; server := text before the first "/",
// object := the rest from that "/". An empty url leaves both untouched.
void SplitUrl(const QString& url, QString* server, QString* object);

// The header line sent with the form.
extern const char kFeedbackHeaders[];

// Posts body to http://server + object. True only when the exchange completed with a 2xx status
// and a non-empty reply, which is put into response. False at once when server is empty.
bool SendFeedback(const QString& server, const QString& object, const QByteArray& headers, const QByteArray& body,
                  QString* response, const std::atomic<bool>* cancel = nullptr);

// The service's address ("http://host/index.php?q=interface/asfeedback/index"); empty without a host.
QString FeedbackServiceUrl();

// Fills the form and sends it to the configured service.
bool SubmitFeedback(const FeedbackForm& form, const std::atomic<bool>* cancel = nullptr);
