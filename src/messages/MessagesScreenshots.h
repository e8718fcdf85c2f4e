#pragma once
// Picture scenes of the message windows for vexa-assistant --screenshot FILE --dialog NAME:
// "sms_compose" (the new-message dialog with two recipients and a text), "remind_message" (the
// incoming-message reminder). The page itself is pictured with --page message[_conversation|_drafts].

void RegisterMessagesScreenshots();
