#include "skin/SkinRows.h"

#include "skin/Skin.h"

#include <QTimer>
#include <QWidget>

bool EndRowSlice(QObject* owner, QWidget* box, const QWidget* templ, const std::vector<QWidget*>& rows, int filled,
                 int total, const int& generation, std::function<void()> next) {
    if (box != nullptr && templ != nullptr) {
        box->setMinimumHeight(filled * templ->minimumHeight());
    }
    if (filled < total) {
        const int current = generation;
        QTimer::singleShot(0, owner, [&generation, current, next = std::move(next)] {
            if (generation == current) {
                next();
            }
        });
        return true;
    }
    for (std::size_t i = static_cast<std::size_t>(filled); i < rows.size(); ++i) {
        Plugin_SetClonedVisible(rows[i], 0);
    }
    return false;
}
