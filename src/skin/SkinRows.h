#pragma once
// Lists filled with cloned rows a slice at a time, so a long list never holds the window up.
// UI thread only.

#include <functional>
#include <vector>

class QObject;
class QWidget;

// Ends one slice of such a fill: box (the scroll area's contents) is told the height of the filled
// rows of templ's height at once, so the rows shown so far are not squeezed while slices arrive.
// While filled < total the next slice is queued on owner and runs only if generation still holds
// the value it has now (a newer fill makes it stale); otherwise the rows an earlier, longer fill
// left after filled are hidden. Returns whether more slices follow.
bool EndRowSlice(QObject* owner, QWidget* box, const QWidget* templ, const std::vector<QWidget*>& rows, int filled,
                 int total, const int& generation, std::function<void()> next);
