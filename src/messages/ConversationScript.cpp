#include "messages/ConversationScript.h"

#include "platform/AtomicFile.h"
#include "platform/StringTable.h"

#include <QFile>

namespace messages {

namespace {

constexpr char kSmsGroup[] = "function SmsGroup(_gid, _name) {this.gid = _gid;this.name = _name;this.data = null;};";
constexpr char kSmsWithStatus[] =
    "function Sms(_id, _name, _time, _msg,_msgType,_iStatus) {this.id = _id;this.name = _name;this.msg = _msg;"
    "this.time = _time;this.selected = false;this.msgType=_msgType;this.iStatus=_iStatus;};";
constexpr char kSmsDraft[] = "function Sms(_id, _name, _time, _msg,_msgType) {this.id = _id;this.name = _name;"
                             "this.msg = _msg;this.time = _time;this.selected = false;this.msgType=_msgType;};";
constexpr char kSmsTelGroup[] = "function SmsTelGroup(_TelNum,_Name) {this.TelNum = _TelNum;this.Name = "
                                "_Name;this.Checked = false;this.data=null;};";
constexpr char kSmsDayGroup[] =
    "function SmsDayGroup(_gid, _name) {this.gid = _gid;\tthis.name = _name;this.data = null;};";
constexpr char kSmsAll[] =
    "function Sms(_id, _name, _time, _msg,_msgType,_iStatus) {\tthis.id = _id;this.name = _name;this.msg = _msg;"
    "this.time = _time;this.selected = false;this.msgType=_msgType;this.iStatus=_iStatus;};";

QString ReferenceFor(QChar c) {
    switch (c.unicode()) {
    case u'"':
        return QStringLiteral("&#34;");
    case u'&':
        return QStringLiteral("&#38;");
    case u'\'':
        return QStringLiteral("&#39;");
    case u'<':
        return QStringLiteral("&#60;");
    case u'>':
        return QStringLiteral("&#62;");
    case u'\\':
        return QStringLiteral("&#92;");
    default:
        return {};
    }
}

QDate DateOf(const SYSTEMTIME& t) {
    return QDate(t.wYear, t.wMonth, t.wDay);
}

// Appends a message statement; the body is streamed, the header collects group statements.
class ScriptBuilder {
public:
    ScriptBuilder(const ScriptOptions& options, QFile& body) : m_options(options), m_body(body) {}

    bool Add(const MSGINFO& m) {
        const QString name = DisplayName(m);
        const QDate date = DateOf(m.time);
        const bool all = m_options.view == ConversationView::AllConversations;
        if (all && (!m_inNumber || m.number.compare(m_number, Qt::CaseInsensitive) != 0)) {
            CloseNumber();
            OpenNumber(m.number);
        }
        if (!m_inDay || date != m_day) {
            CloseDay();
            m_inDay = true;
            m_day = date;
            m_dayLabel = DayLabel(date, m.time.wDayOfWeek, m_options.today);
            m_dayCount = 0;
        }
        QString escapedName = EscapeForScript(name);
        QString text = EscapeForScript(m.content);
        if (!m_options.keyword.isEmpty()) {
            escapedName = HighlightKeyword(escapedName, m_options.keyword);
            text = HighlightKeyword(text, m_options.keyword);
        }
        const QString time = QString::asprintf("%d:%02d", m.time.wHour, m.time.wMinute);
        // One arg() call per statement: a single pass, so texts holding "%1" stay as they are.
        const auto n = [](qint64 v) { return QString::number(v); };
        QString statement;
        if (all) {
            statement = QStringLiteral("groups[%1].data[%2].data[%3] = new Sms(%4,'%5','%6','%7',%8,%9);")
                            .arg(n(m_numberIndex), n(m_numberDays), n(m_dayCount), n(m.id), escapedName, time, text,
                                 n(m.type), n(m.status));
        } else if (m_options.view == ConversationView::Drafts) {
            statement = QStringLiteral("groups[%1].data[%2] = new Sms(%3,'%4','%5','%6',%7);")
                            .arg(n(m_groups), n(m_dayCount), n(m.id), escapedName, time, text, n(m.type));
        } else {
            statement = QStringLiteral("groups[%1].data[%2] = new Sms(%3,'%4','%5','%6',%7,%8);")
                            .arg(n(m_groups), n(m_dayCount), n(m.id), escapedName, time, text, n(m.type), n(m.status));
        }
        ++m_dayCount;
        ++m_numberMessages;
        const QByteArray bytes = statement.toUtf8();
        return m_body.write(bytes) == bytes.size();
    }

    QString Finish() {
        CloseNumber();
        CloseDay();
        QString header;
        switch (m_options.view) {
        case ConversationView::AllConversations:
            header = QLatin1String(kSmsTelGroup) + QLatin1String(kSmsDayGroup) + QLatin1String(kSmsAll);
            break;
        case ConversationView::Drafts:
            header = QLatin1String(kSmsGroup) + QLatin1String(kSmsDraft);
            break;
        case ConversationView::Conversation:
            header = QLatin1String(kSmsGroup) + QLatin1String(kSmsWithStatus);
            break;
        }
        return header + QStringLiteral("var groups = new Array(%1);").arg(m_groups) + m_statements;
    }

private:
    QString DisplayName(const MSGINFO& m) const {
        if (m.status == 0) {
            return Str(2003);
        }
        return NameOrNumber(m.number);
    }

    QString NameOrNumber(const QString& number) const {
        const QString name = m_options.contactName ? m_options.contactName(number) : QString();
        return name.isEmpty() ? number : name;
    }

    void OpenNumber(const QString& number) {
        m_inNumber = true;
        m_number = number;
        m_numberIndex = m_groups;
        m_numberDays = 0;
        m_numberMessages = 0;
        m_inDay = false;
    }

    void CloseDay() {
        if (!m_inDay) {
            return;
        }
        m_inDay = false;
        if (m_options.view == ConversationView::AllConversations) {
            m_dayStatements +=
                QStringLiteral(
                    "groups[%1].data[%2] = new SmsDayGroup(1,'%3');groups[%1].data[%2].data = new Array(%4);")
                    .arg(QString::number(m_numberIndex), QString::number(m_numberDays), m_dayLabel,
                         QString::number(m_dayCount));
            ++m_numberDays;
            return;
        }
        m_statements += QStringLiteral("groups[%1] = new SmsGroup(1,'%2');groups[%1].data = new Array(%3);")
                            .arg(QString::number(m_groups), m_dayLabel, QString::number(m_dayCount));
        ++m_groups;
    }

    void CloseNumber() {
        if (!m_inNumber) {
            return;
        }
        CloseDay();
        m_inNumber = false;
        const int total = m_options.numberTotal ? m_options.numberTotal(m_number) : m_numberMessages;
        const QString label = EscapeForScript(NameOrNumber(m_number) + QStringLiteral("(%1)").arg(total));
        m_statements +=
            QStringLiteral("groups[%1] = new SmsTelGroup('%2','%3');groups[%1].data = new Array(%4);")
                .arg(QString::number(m_numberIndex), EscapeForScript(m_number), label, QString::number(m_numberDays)) +
            m_dayStatements;
        m_dayStatements.clear();
        ++m_groups;
    }

    const ScriptOptions& m_options;
    QFile& m_body;
    QString m_statements;    // header statements of closed groups
    QString m_dayStatements; // day groups of the open number group
    int m_groups = 0;        // top-level groups closed so far
    bool m_inDay = false;
    QDate m_day;
    QString m_dayLabel;
    int m_dayCount = 0;
    bool m_inNumber = false;
    QString m_number;
    int m_numberIndex = 0;
    int m_numberDays = 0;
    int m_numberMessages = 0;
};

} // namespace

QString EscapeForScript(const QString& text) {
    QString out;
    out.reserve(text.size() + 16);
    for (const QChar c : text) {
        if (c == u'\r') {
            continue;
        }
        if (c == u'\n') {
            out += QStringLiteral("  ");
            continue;
        }
        const QString reference = ReferenceFor(c);
        out += reference.isEmpty() ? QString(c) : reference;
    }
    return out;
}

QString HighlightKeyword(const QString& escaped, const QString& keyword) {
    if (keyword.isEmpty()) {
        return escaped;
    }
    QString needle = keyword;
    if (keyword.size() == 1 && !ReferenceFor(keyword[0]).isEmpty()) {
        needle = ReferenceFor(keyword[0]);
    }
    static const QString open = QStringLiteral("<span style=\\'color:Red;\\'>");
    static const QString close = QStringLiteral("</span>");
    QString out;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = escaped.indexOf(needle, from);
        if (at < 0) {
            break;
        }
        out += escaped.mid(from, at - from) + open + needle + close;
        from = at + needle.size();
    }
    return out + escaped.mid(from);
}

QString DayLabel(const QDate& date, int dayOfWeek, const QDate& today) {
    const QString weekday = dayOfWeek >= 0 && dayOfWeek <= 6 ? Str(2006 + dayOfWeek) : QString();
    if (!date.isValid()) {
        return QString::asprintf("%d-%02d-%02d     ", date.year(), date.month(), date.day()) + weekday;
    }
    const qint64 days = date.daysTo(today);
    const QString day = days == 0 ? Str(2004) : days == 1 ? Str(2005) : date.toString(QStringLiteral("yyyy-MM-dd"));
    return day + QStringLiteral("     ") + weekday;
}

bool WriteConversationScript(const std::vector<MSGINFO>& messages, const ScriptOptions& options,
                             const QString& scriptPath, const QString& bodyPath) {
    QFile body(bodyPath);
    if (!body.open(QIODevice::ReadWrite | QIODevice::Truncate)) {
        return false;
    }
    ScriptBuilder builder(options, body);
    for (const MSGINFO& m : messages) {
        if (!builder.Add(m)) {
            return false;
        }
    }
    const QByteArray header = builder.Finish().toUtf8();
    // The page may be reading the script right now: it sees the old one or the new one, whole.
    CAtomicFile script(scriptPath);
    if (!script.Open() || !WriteAll(script.Device(), "\xEF\xBB\xBF", 3) || !WriteAll(script.Device(), header)) {
        return false;
    }
    body.seek(0);
    char block[1024];
    qint64 n = 0;
    while ((n = body.read(block, sizeof(block))) > 0) {
        if (!WriteAll(script.Device(), block, n)) {
            return false;
        }
    }
    return n == 0 && script.Commit().ok;
}

} // namespace messages
