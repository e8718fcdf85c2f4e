#pragma once
// Pictures of the contacts tab in the whole frame, connected to the attached phone, for
// vexa-assistant --screenshot FILE --page NAME: "contact_group" (the first group of the phone chosen,
// the list scrolled with its index letter showing), "contact_search" (a search for "13" under way in
// the box) and "call_records" (the call record view with the newest number chosen). UI thread only.

void RegisterContactScreenshots();
