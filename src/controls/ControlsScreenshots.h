#pragma once
// Picture scenes of the shared dialogs for vexa-assistant --screenshot FILE --dialog NAME:
// "message_box" (a three-line question with Yes, No and Cancel), "progress" (40 %), "busy",
// "busy_no_caption", "small_busy"; and the page "skin_gallery" (every skinned control at once, for
// checking the style sheet).

void RegisterControlsScreenshots();
