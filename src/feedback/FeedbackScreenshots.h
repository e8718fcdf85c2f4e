#pragma once
// Pictures of the feedback dialog (--dialog feedback) and the crash reporter (--dialog crash_report).

void RegisterFeedbackScreenshots();
