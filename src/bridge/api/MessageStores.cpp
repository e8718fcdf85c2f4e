#include "bridge/api/MessageStores.h"

namespace vexa {

bool IsDraftBox(int box) {
    return box == BOX_DRAFT || box == BOX_DRAFT_OTHER;
}

MSGINFO SmsListEntry(const Sms& sms) {
    MSGINFO info;
    info.type = 0;
    info.number = sms.m_number;
    info.id = sms.m_id;
    info.content = sms.m_content;
    info.read = sms.m_read ? 1 : 0;
    info.status = sms.m_box == BOX_INBOX ? 1 : 0;
    info.time = sms.m_time;
    return info;
}

} // namespace vexa
