#include "platform/SizeText.h"

QString FormatSizeText(std::int64_t bytes, SizeBlank blank) {
    const bool withBlank = blank == SizeBlank::With;
    if (bytes < 1024) {
        return QString::asprintf(withBlank ? "%d B" : "%dB", static_cast<int>(bytes));
    }
    if (bytes < 1048576) {
        return QString::asprintf(withBlank ? "%.01f KB" : "%.01fKB", static_cast<double>(bytes) / 1024.0);
    }
    return QString::asprintf(withBlank ? "%.01f MB" : "%.01fMB", static_cast<double>(bytes) / 1048576.0);
}
